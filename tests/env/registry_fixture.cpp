#include "tests/env/registry_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace brimtest {
namespace {
std::unique_ptr<TempDir> g_configHome;

[[maybe_unused]] const auto* const g_registered =
    ::testing::AddGlobalTestEnvironment(new RegistryEnvironment);
}  // namespace

void RegistryEnvironment::SetUp() {
#if !defined(_WIN32)
    g_configHome = std::make_unique<TempDir>();
    setenv("XDG_CONFIG_HOME", g_configHome->Path().c_str(), 1);
#endif
}

void RegistryEnvironment::TearDown() { g_configHome.reset(); }

std::string RegistryEnvironment::ConfigHome() { return g_configHome ? g_configHome->Path().string() : std::string(); }

void RegistryTest::SetUp() { m_base = L"Software\\BrimCommonTest\\" + UniqueName(L"key"); }

void RegistryTest::TearDown() {
    std::wstring path = m_base;
    CBrimRegistry::LocalDeleteSubKey(HKEY_CURRENT_USER, path.data());
}

CStringW RegistryTest::Key(const wchar_t* below) const {
    CStringW key(m_base.c_str());
    if (below != nullptr) {
        key += L"\\";
        key += below;
    }
    return key;
}

}  // namespace brimtest
