#include <brim/brim.h>

#include "tests/env/resource_module.h"
#include "tests/support/printers.h"
#include "tests/support/process.h"
#include "tests/sysinfo/env_vars.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <filesystem>
#include <memory>
#include <vector>

namespace brimtest {
namespace {

std::filesystem::path ExecutablePath() {
#if defined(_WIN32)
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
#else
    return std::filesystem::read_symlink("/proc/self/exe");
#endif
}

TEST(GetVersionInfo, UsesTheTranslationTableAndCleansTheValue) {
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(nullptr, L"FileVersion"), L"2.1.0.7");
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(AfxGetInstanceHandle(), L"CompanyName"), L"A.BLtd");
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(nullptr, L"NoSuchKey"), L"");
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(nullptr, nullptr), L"");
    // Keys past what the 256-character query path holds are refused, not cut
    // into another key's name.
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(nullptr, std::wstring(230, L'k').c_str()), L"");
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(nullptr, (L"FileVersion" + std::wstring(300, L'x')).c_str()), L"");
}

TEST(GetVersionInfo, WithoutATranslationTableTheUsersLanguageDecides) {
    const HINSTANCE module = LoadResourceModule();
    ASSERT_NE(module, nullptr);
#if defined(_WIN32)
    // The module's only block is 040904B0: found when the user's language is
    // English (United States), as in a default Wine prefix.
    const bool english = ::GetUserDefaultLangID() == 0x0409;
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(module, L"FileVersion"), english ? L"9.8.7" : L"");
#else
    Variables saved{L"LC_ALL"};
    Variables::Set(L"LC_ALL", L"en_US.UTF-8");
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(module, L"FileVersion"), L"9.8.7");
    Variables::Set(L"LC_ALL", L"ko_KR.UTF-8");   // block 041204B0 is missing too
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(module, L"FileVersion"), L"");
    // A module without any version resource.
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(0x1000)),
                                              L"FileVersion"),
              L"");
#endif
}

TEST(Process32Count, CountsExactNamesCaseSensitively) {
    const std::wstring self = ExecutablePath().filename().wstring();
    EXPECT_GE(CBrimInfoModule::Process32Count(self.c_str()), 1);
    std::wstring upper = self;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    ASSERT_NE(upper, self);
    EXPECT_EQ(CBrimInfoModule::Process32Count(upper.c_str()), 0);
    EXPECT_EQ(CBrimInfoModule::Process32Count(nullptr), 0);

#if defined(_WIN32)
    const wchar_t* child = L"brim_test_child.exe";
#else
    const wchar_t* child = L"brim_test_child";
#endif
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int k = 0; k < 2; ++k) {
        children.push_back(ChildProcess::Start({"hold-mutex", "BrimProcessCount-" + std::to_string(k)}));
        ASSERT_EQ(children.back()->ReadLine(), "locked");
    }
    // Other suites may run children at the same time: at least these two.
    EXPECT_GE(CBrimInfoModule::Process32Count(child), 2);
    for (auto& c : children) {
        c->WriteLine("");
        c->Wait();
    }
}

TEST(GetCurrentPath, IsTheExecutablesFolderWithItsSeparator) {
    const std::filesystem::path folder = ExecutablePath().parent_path();
#if defined(_WIN32)
    EXPECT_EQ(std::wstring(CBrimInfoModule::GetCurrentPath().GetString()), folder.wstring() + L"\\");
#else
    EXPECT_EQ(std::wstring(CBrimInfoModule::GetCurrentPath().GetString()), folder.wstring() + L"/");
#endif
}

TEST(GetVMemoryUsage, GrowsAfterALargeAllocationIsTouched) {
    unsigned long long workingSet = 1, privateBytes = 1;
    CBrimInfoModule::GetVMemoryUsage(&workingSet, &privateBytes);
    ASSERT_GT(workingSet, 1u);
    ASSERT_GT(privateBytes, 1u);
    constexpr std::size_t kBlock = 64u << 20;
    std::unique_ptr<char[]> block(new char[kBlock]);
    for (std::size_t k = 0; k < kBlock; k += 4096) block[k] = static_cast<char>(k);
    unsigned long long workingSetAfter = 0, privateAfter = 0;
    CBrimInfoModule::GetVMemoryUsage(&workingSetAfter, &privateAfter);
    EXPECT_GE(workingSetAfter, workingSet + kBlock / 2);
    EXPECT_GE(privateAfter, privateBytes + kBlock / 2);
    EXPECT_EQ(block[4096], static_cast<char>(4096));
}

TEST(GetAppName, IsTheApplicationObjectsName) {
    if (AfxGetApp() != nullptr) GTEST_SKIP() << "another application object is alive";
    EXPECT_EQ(CBrimInfoModule::GetAppName(), L"");
    CWinApp app(L"SysinfoApp");
    EXPECT_EQ(CBrimInfoModule::GetAppName(), L"SysinfoApp");
}

}  // namespace
}  // namespace brimtest
