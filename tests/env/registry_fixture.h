// Every registry test works below its own key, removed afterwards:
// HKEY_CURRENT_USER\Software\BrimCommonTest\<unique>. On POSIX the whole store is a
// fresh one in a temporary folder (XDG_CONFIG_HOME), so no test touches the
// user's real settings.
#pragma once

#include <brim/brim.h>

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace brimtest {

// Points the POSIX store at a temporary folder for the whole test program.
class RegistryEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
    static std::string ConfigHome();
};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The test's own key, relative to HKEY_CURRENT_USER.
    CStringW Key(const wchar_t* below = nullptr) const;

    std::wstring m_base;
};

}  // namespace brimtest
