#include "tests/support/suite.h"
#include "tests/env/registry_fixture.h"
#include "tests/env/resource_module.h"

#include <cwctype>
#include <optional>

namespace brimtest {
namespace {

// Environment variables set as the library reads them; what was there comes back when the object goes.
class Variables {
public:
    explicit Variables(std::initializer_list<const wchar_t*> names) {
        for (const wchar_t* name : names) {
#if defined(_WIN32)
            static wchar_t value[32768];
            const DWORD n = ::GetEnvironmentVariableW(name, value, 32768);
            m_saved.emplace_back(name, n == 0 || n >= 32768 ? std::nullopt : std::optional<std::wstring>(value));
#else
            const char* value = std::getenv(Narrow(name).c_str());
            m_saved.emplace_back(name, value == nullptr ? std::nullopt : std::optional<std::wstring>(Wide(value)));
#endif
        }
    }
    ~Variables() {
        for (const auto& [name, value] : m_saved) Set(name, value ? value->c_str() : nullptr);
    }
    // value null removes the variable.
    static void Set(const wchar_t* name, const wchar_t* value) {
#if defined(_WIN32)
        ::SetEnvironmentVariableW(name, value);
#else
        value == nullptr ? unsetenv(Narrow(name).c_str()) : setenv(Narrow(name).c_str(), Narrow(value).c_str(), 1);
#endif
    }

private:
    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
    static std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
    std::vector<std::pair<const wchar_t*, std::optional<std::wstring>>> m_saved;
};

#if defined(_WIN32)
std::filesystem::path ExecutablePath() {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}
#else
std::filesystem::path ExecutablePath() { return std::filesystem::read_symlink("/proc/self/exe"); }
#endif

TEST(GetVersionInfo, UsesTheTranslationTableAndCleansTheValue) {
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(nullptr, L"FileVersion"), L"2.1.0.7");
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(AfxGetInstanceHandle(), L"CompanyName"), L"A.BLtd");
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(nullptr, L"NoSuchKey"), L"");
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(nullptr, nullptr), L"");
    // Keys past what the 256-character query path holds are refused, not cut into another key's name.
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(nullptr, std::wstring(230, L'k').c_str()), L"");
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(nullptr, (L"FileVersion" + std::wstring(300, L'x')).c_str()), L"");
}

TEST(GetVersionInfo, WithoutATranslationTableTheUsersLanguageDecides) {
    const HINSTANCE module = LoadResourceModule();
    ASSERT_NE(module, nullptr);
#if defined(_WIN32)
    // The module's only block is 040904B0: found for English (United States), as in a default Wine prefix.
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(module, L"FileVersion"), ::GetUserDefaultLangID() == 0x0409 ? L"9.8.7" : L"");
#else
    Variables saved{L"LC_ALL"};
    Variables::Set(L"LC_ALL", L"en_US.UTF-8");
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(module, L"FileVersion"), L"9.8.7");
    Variables::Set(L"LC_ALL", L"ko_KR.UTF-8");   // block 041204B0 is missing too
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(module, L"FileVersion"), L"");
    const HINSTANCE unversioned = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(0x1000));
    EXPECT_EQ(CBrimInfoModule::GetVersionInfo(unversioned, L"FileVersion"), L"");
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
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int k = 0; k < 2; ++k) {
        children.push_back(ChildProcess::Start({"hold-mutex", "BrimProcessCount-" + std::to_string(k)}));
        ASSERT_EQ(children.back()->ReadLine(), "locked");
    }
    const std::wstring child = L"brim_test_child" + ExecutablePath().extension().wstring();   // ".exe" on Windows
    EXPECT_GE(CBrimInfoModule::Process32Count(child.c_str()), 2);   // other suites may run children too
    for (auto& c : children) c->WriteLine("");
}

TEST(GetCurrentPath, IsTheExecutablesFolderWithItsSeparator) {
    EXPECT_EQ(std::wstring(CBrimInfoModule::GetCurrentPath().GetString()),
              (ExecutablePath().parent_path() / "").wstring());
}

TEST(GetVMemoryUsage, GrowsAfterALargeAllocationIsTouched) {
    unsigned long long workingSet = 1, privateBytes = 1, workingSetAfter = 0, privateAfter = 0;
    CBrimInfoModule::GetVMemoryUsage(&workingSet, &privateBytes);
    constexpr std::size_t kBlock = 64u << 20;
    std::unique_ptr<char[]> block(new char[kBlock]);
    for (std::size_t k = 0; k < kBlock; k += 4096) block[k] = static_cast<char>(k);
    CBrimInfoModule::GetVMemoryUsage(&workingSetAfter, &privateAfter);
    EXPECT_GE(workingSetAfter, workingSet + kBlock / 2);
    EXPECT_GE(privateAfter, privateBytes + kBlock / 2);
    EXPECT_EQ(block[4096], static_cast<char>(4096));
}

TEST(GetLogicalDrives, RootsComeAfterWhatTheListHeld) {
    CStringList list;
    list.AddTail(L"first");
    list.AddTail(L"second");
    CBrimInfoSystem::GetLogicalDrives(&list);
    ASSERT_GT(list.GetCount(), 2);
    POSITION at = list.GetHeadPosition();
    EXPECT_EQ(list.GetNext(at), L"first");
    EXPECT_EQ(list.GetNext(at), L"second");
#if !defined(_WIN32)
    EXPECT_EQ(list.GetAt(at), L"/");   // the root file system first
#endif
    while (at != nullptr) {
        const CStringW root = list.GetNext(at);
#if defined(_WIN32)
        EXPECT_EQ(root.GetLength(), 3) << root.GetString();
        EXPECT_EQ(root.Right(2), L":\\");
#else
        EXPECT_EQ(root.Right(1), L"/") << root.GetString();
#endif
    }
    CBrimInfoSystem::GetLogicalDrives(nullptr);   // nothing to append to: nothing happens
}

TEST(GetSystemDrive, IsTheRootOfTheSystemFolder) {
#if defined(_WIN32)
    wchar_t folder[MAX_PATH];
    ASSERT_GT(::GetSystemDirectoryW(folder, MAX_PATH), 3u);
    EXPECT_EQ(CBrimInfoSystem::GetSystemDrive(), CStringW(folder, 3));
#else
    EXPECT_EQ(CBrimInfoSystem::GetSystemDrive(), L"/");
#endif
}

// The version is written where the library reads it, in the test program's own store, and put back.
TEST(GetIEVer, OnlyTheFirstCharacterCounts) {
    const wchar_t* key = L"SOFTWARE\\Microsoft\\Internet Explorer";
    const CStringW saved = CBrimRegistry::LocalReadString(HKEY_LOCAL_MACHINE, key, L"Version");
    const std::pair<const wchar_t*, unsigned long> cases[] = {
        {L"7.0.5730.13", 1}, {L"8.0.7601.17514", 2}, {L"9.11.9600.18231", 3}, {L"11.0", 0}, {L"6.0.2900", 0}, {L"", 0}};
    for (const auto& [version, expected] : cases) {
        ASSERT_TRUE(CBrimRegistry::LocalWriteString(HKEY_LOCAL_MACHINE, key, L"Version", version));
        EXPECT_EQ(CBrimInfoSystem::GetIEVer(), expected) << version;
    }
    CBrimRegistry::LocalWriteString(HKEY_LOCAL_MACHINE, key, L"Version", saved);
}

TEST(GetTempDirectory, OnlyTheLabelIsRemovedAndTooLongGivesNothing) {
    Variables saved{L"TEMP", L"TMP", L"TMPDIR"};
    // A reference inside the value is not expanded again.
    for (const std::wstring& temp : {std::wstring(L"C:\\TEMP"), std::wstring(L"/var/tmp/%USER%"), std::wstring(246, L't')}) {
        Variables::Set(L"TEMP", temp.c_str());
        EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), temp.c_str());
    }
    Variables::Set(L"TEMP", std::wstring(247, L't').c_str());
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"");
    Variables::Set(L"TEMP", nullptr);
#if defined(_WIN32)
    // Windows always defines TEMP: only a process that removed it sees the reference.
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"%TEMP%");
#else
    // POSIX: an unset TEMP is TMPDIR, else /tmp.
    Variables::Set(L"TMP", nullptr);
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {{L"/var/tmp/x", L"/var/tmp/x"}, {nullptr, L"/tmp"}, {L"", L"/tmp"}};
    for (const auto& [tmpdir, expected] : cases) {
        Variables::Set(L"TMPDIR", tmpdir);
        EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), expected);
    }
#endif
}

TEST(GenerateHDDID, TheSystemDriveByDefaultAndAFailureForAMissingRoot) {
    const unsigned long byDefault = CBrimInfoMachine::GenerateHDDID(nullptr);
    EXPECT_EQ(CBrimInfoMachine::GenerateHDDID(CBrimInfoSystem::GetSystemDrive()), byDefault);
#if defined(_WIN32)
    const wchar_t* missing = L"R:\\";   // Wine maps C: and Z: only
#else
    const wchar_t* missing = L"/no/such/root/";
#endif
    EXPECT_EQ(Thrown([&] { CBrimInfoMachine::GenerateHDDID(missing); }).Find(L"BrimException : "), 0);
}

}  // namespace
}  // namespace brimtest
