// Each registry test works below its own key, removed afterwards; on POSIX the store is a fresh one (XDG_CONFIG_HOME).
#pragma once

#include "tests/support/suite.h"

namespace brimtest {

class RegistryEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
#if !defined(_WIN32)
        home = std::make_unique<TempDir>();
        setenv("XDG_CONFIG_HOME", home->Path().c_str(), 1);
#endif
    }
    void TearDown() override { home.reset(); }
    static inline std::unique_ptr<TempDir> home;
};
inline auto* const g_registryEnvironment = ::testing::AddGlobalTestEnvironment(new RegistryEnvironment);

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { m_base = L"Software\\BrimCommonTest\\" + UniqueName(L"key"); }
    void TearDown() override { CBrimRegistry::LocalDeleteSubKey(HKEY_CURRENT_USER, m_base.data()); }
    // The test's own key, or a key below it, relative to HKEY_CURRENT_USER.
    CStringW Key(const wchar_t* below = nullptr) const {
        return CStringW(below == nullptr ? m_base.c_str() : (m_base + L"\\" + below).c_str());
    }
    bool Put(const wchar_t* below, const wchar_t* name, const wchar_t* value) const {
        return CBrimRegistry::LocalWriteString(HKEY_CURRENT_USER, Key(below), name, value);
    }
    CStringW Get(const wchar_t* below, const wchar_t* name) const {
        return CBrimRegistry::LocalReadString(HKEY_CURRENT_USER, Key(below), name);
    }
    bool PutInt(const wchar_t* below, const wchar_t* name, unsigned long value) const {
        return CBrimRegistry::LocalWriteInt(HKEY_CURRENT_USER, Key(below), name, value);
    }
    int GetInt(const wchar_t* below, const wchar_t* name) const {
        return CBrimRegistry::LocalReadInt(HKEY_CURRENT_USER, Key(below), name);
    }

    std::wstring m_base;
};

}  // namespace brimtest
