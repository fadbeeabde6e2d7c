#include "tests/env/registry_fixture.h"
#include "tests/support/thrown.h"
#include "tests/sysinfo/env_vars.h"

namespace brimtest {
namespace {

TEST(GetLogicalDrives, RootsComeAfterWhatTheListHeld) {
    CStringList list;
    list.AddTail(L"first");
    list.AddTail(L"second");
    CBrimInfoSystem::GetLogicalDrives(&list);
    ASSERT_GT(list.GetCount(), 2);
    POSITION at = list.GetHeadPosition();
    EXPECT_EQ(list.GetNext(at), L"first");
    EXPECT_EQ(list.GetNext(at), L"second");
    const CStringW firstRoot = list.GetAt(at);
    while (at != nullptr) {
        const CStringW root = list.GetNext(at);
#if defined(_WIN32)
        EXPECT_EQ(root.GetLength(), 3) << root.GetString();
        EXPECT_EQ(root.Right(2), L":\\");
#else
        EXPECT_EQ(root.Right(1), L"/") << root.GetString();
#endif
    }
#if !defined(_WIN32)
    EXPECT_EQ(firstRoot, L"/");   // POSIX: the root file system first
#endif
    CBrimInfoSystem::GetLogicalDrives(nullptr);   // nothing to append to: nothing happens
}

TEST(GetSystemDrive, IsTheRootOfTheSystemFolder) {
    const CStringW drive = CBrimInfoSystem::GetSystemDrive();
#if defined(_WIN32)
    wchar_t folder[MAX_PATH];
    ASSERT_GT(::GetSystemDirectoryW(folder, MAX_PATH), 3u);
    EXPECT_EQ(drive, CStringW(folder, 3));
#else
    EXPECT_EQ(drive, L"/");
#endif
}

class GetIEVer : public RegistryTest {
protected:
    static constexpr const wchar_t* kKey = L"SOFTWARE\\Microsoft\\Internet Explorer";
    void SetUp() override {
        RegistryTest::SetUp();
        m_saved = CBrimRegistry::LocalReadString(HKEY_LOCAL_MACHINE, kKey, L"Version");
    }
    void TearDown() override {
        CBrimRegistry::LocalWriteString(HKEY_LOCAL_MACHINE, kKey, L"Version", m_saved);
        RegistryTest::TearDown();
    }
    static unsigned long With(const wchar_t* version) {
        EXPECT_TRUE(CBrimRegistry::LocalWriteString(HKEY_LOCAL_MACHINE, kKey, L"Version", version));
        return CBrimInfoSystem::GetIEVer();
    }
    CStringW m_saved;
};

TEST_F(GetIEVer, OnlyTheFirstCharacterCounts) {
    const std::pair<const wchar_t*, unsigned long> cases[] = {
        {L"7.0.5730.13", 1}, {L"8.0.7601.17514", 2}, {L"9.11.9600.18231", 3}, {L"11.0", 0}, {L"6.0.2900", 0}, {L"", 0}};
    for (const auto& [version, expected] : cases) EXPECT_EQ(With(version), expected) << version;
}

TEST(GetTempDirectory, OnlyTheLabelIsRemovedAndTooLongGivesNothing) {
    Variables saved{L"TEMP", L"TMP", L"TMPDIR"};
    const std::wstring fits(246, L't'), tooLong(247, L't');
    // A reference inside the value is not expanded again.
    for (const std::wstring& temp : {std::wstring(L"C:\\TEMP"), std::wstring(L"/var/tmp/%USER%"), fits}) {
        Variables::Set(L"TEMP", temp.c_str());
        EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), temp.c_str());
    }
    Variables::Set(L"TEMP", tooLong.c_str());
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"");
    Variables::Set(L"TEMP", nullptr);
#if defined(_WIN32)
    // Windows always defines TEMP: only a process that removed it sees the reference.
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"%TEMP%");
#else
    // POSIX: an unset TEMP is TMPDIR, else /tmp.
    Variables::Set(L"TMP", nullptr);
    Variables::Set(L"TMPDIR", L"/var/tmp/x");
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"/var/tmp/x");
    Variables::Set(L"TMPDIR", nullptr);
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"/tmp");
    Variables::Set(L"TMPDIR", L"");
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"/tmp");
#endif
}

TEST(GenerateHDDID, TheSystemDriveByDefaultAndAFailureForAMissingRoot) {
    const unsigned long byDefault = CBrimInfoMachine::GenerateHDDID(nullptr);
    EXPECT_EQ(CBrimInfoMachine::GenerateHDDID(CBrimInfoSystem::GetSystemDrive()), byDefault);
    EXPECT_EQ(CBrimInfoMachine::GenerateHDDID(), byDefault);
#if defined(_WIN32)
    const wchar_t* missing = L"R:\\";   // Wine maps C: and Z: only
#else
    const wchar_t* missing = L"/no/such/root/";
#endif
    EXPECT_EQ(Thrown([&] { CBrimInfoMachine::GenerateHDDID(missing); }).Find(L"BrimException : "), 0);
}

}  // namespace
}  // namespace brimtest
