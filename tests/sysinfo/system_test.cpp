#include <brim/brim.h>

#include "tests/env/registry_fixture.h"
#include "tests/support/printers.h"
#include "tests/sysinfo/env_vars.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

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
    EXPECT_EQ(With(L"7.0.5730.13"), 1u);
    EXPECT_EQ(With(L"8.0.7601.17514"), 2u);
    EXPECT_EQ(With(L"9.11.9600.18231"), 3u);
    EXPECT_EQ(With(L"11.0"), 0u);
    EXPECT_EQ(With(L"6.0.2900"), 0u);
    EXPECT_EQ(With(L""), 0u);
}

class GetTempDirectory : public ::testing::Test {
protected:
    void SetUp() override { m_had = GetVariable(L"TEMP", m_saved); }
    void TearDown() override { SetVariable(L"TEMP", m_had ? m_saved.c_str() : nullptr); }
    bool m_had = false;
    std::wstring m_saved;
};

TEST_F(GetTempDirectory, OnlyTheLabelIsRemoved) {
    SetVariable(L"TEMP", L"C:\\TEMP");
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"C:\\TEMP");
    SetVariable(L"TEMP", L"E:\\tmp");
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"E:\\tmp");
    SetVariable(L"TEMP", L"/var/tmp/%USER%");   // a reference inside the value is not expanded again
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"/var/tmp/%USER%");
}

TEST_F(GetTempDirectory, UnsetGivesTheReferenceAndTooLongGivesNothing) {
    SetVariable(L"TEMP", nullptr);
#if defined(_WIN32)
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"%TEMP%");
#else
    // Platform difference: Windows always defines TEMP, so only a process
    // that removed it sees the reference; POSIX stands in its temporary folder.
    EXPECT_NE(CBrimInfoSystem::GetTempDirectory(), L"%TEMP%");
#endif
    const std::wstring fits(246, L't'), tooLong(247, L't');
    SetVariable(L"TEMP", fits.c_str());
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), fits.c_str());
    SetVariable(L"TEMP", tooLong.c_str());
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"");
}

#if !defined(_WIN32)
// An unset TEMP is TMPDIR, else /tmp; a set TEMP wins.
TEST_F(GetTempDirectory, UnsetTempIsTheSystemsTemporaryFolder) {
    std::wstring savedTmp, savedTmpDir;
    const bool hadTmp = GetVariable(L"TMP", savedTmp), hadTmpDir = GetVariable(L"TMPDIR", savedTmpDir);
    SetVariable(L"TEMP", nullptr);
    SetVariable(L"TMP", nullptr);
    SetVariable(L"TMPDIR", L"/var/tmp/x");
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"/var/tmp/x");
    SetVariable(L"TMPDIR", nullptr);
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"/tmp");
    SetVariable(L"TMPDIR", L"");
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"/tmp");
    SetVariable(L"TEMP", L"/mine");
    EXPECT_EQ(CBrimInfoSystem::GetTempDirectory(), L"/mine");
    SetVariable(L"TMP", hadTmp ? savedTmp.c_str() : nullptr);
    SetVariable(L"TMPDIR", hadTmpDir ? savedTmpDir.c_str() : nullptr);
}
#endif

TEST(GenerateHDDID, TheSystemDriveByDefaultAndAFailureForAMissingRoot) {
    const unsigned long byDefault = CBrimInfoMachine::GenerateHDDID(nullptr);
    EXPECT_EQ(CBrimInfoMachine::GenerateHDDID(CBrimInfoSystem::GetSystemDrive()), byDefault);
    EXPECT_EQ(CBrimInfoMachine::GenerateHDDID(), byDefault);
#if defined(_WIN32)
    const wchar_t* missing = L"R:\\";   // Wine maps C: and Z: only
#else
    const wchar_t* missing = L"/no/such/root/";
#endif
    try {
        CBrimInfoMachine::GenerateHDDID(missing);
        FAIL() << "no exception";
    } catch (CBrimException* e) {
        EXPECT_EQ(e->GetMessageW().Find(L"BrimException : "), 0);
        e->Delete();
    }
}

}  // namespace
}  // namespace brimtest
