#include "tests/support/suite.h"
#include "tests/env/registry_fixture.h"

#include <tuple>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace brimtest {
namespace {

class Registry : public RegistryTest {
protected:
    // The deletion of path, with what it printed kept in m_printed.
    int Delete(std::wstring& path, HKEY root = HKEY_CURRENT_USER) {
        ::testing::internal::CaptureStdout();
        const int result = CBrimRegistry::LocalDeleteSubKey(root, path.data());
        m_printed = ::testing::internal::GetCapturedStdout();
        return result;
    }
    std::string m_printed;
};

TEST_F(Registry, StringsRoundTripUpTo260BytesWithTheTerminator) {
    const std::wstring fits(129, L'a'), tooLong(130, L'b');
    const wchar_t* text = L"\xD55C\xAD6D\xC5B4 \x00E9\x00E8 \x20AC";
    ASSERT_TRUE(Put(nullptr, L"fits", fits.c_str()) && Put(nullptr, L"long", tooLong.c_str()));
    ASSERT_TRUE(Put(nullptr, L"null", nullptr) && Put(nullptr, L"text", text));
    EXPECT_EQ(Get(nullptr, L"fits"), fits.c_str());
    EXPECT_EQ(Get(nullptr, L"text"), text);
    for (const wchar_t* empty : {L"long", L"null", L"absent"}) EXPECT_EQ(Get(nullptr, empty), L"") << empty;
    // Every key along the path is made; names ignore case.
    ASSERT_TRUE(Put(L"one\\Two\\three", L"Name", L"deep"));
    EXPECT_EQ(Get(L"ONE\\two\\three", L"NAME"), L"deep");
    ASSERT_TRUE(Put(L"ONE\\TWO\\THREE", L"name", L"second"));
    EXPECT_EQ(Get(L"one\\two\\three", L"Name"), L"second");
}

TEST_F(Registry, NumbersAreFourBytesAndMissingOnesReadZero) {
    ASSERT_TRUE(PutInt(nullptr, L"n", 0xFFFFFFFFul));
    EXPECT_EQ(GetInt(nullptr, L"n"), -1);
    EXPECT_EQ(GetInt(L"no\\such\\key", L"n"), 0);
    // "ab" is 6 bytes of UTF-16 with its terminator, "a" exactly 4: the type is not examined.
    ASSERT_TRUE(Put(nullptr, L"six", L"ab") && Put(nullptr, L"four", L"a"));
    EXPECT_EQ(GetInt(nullptr, L"six"), 0);
    EXPECT_EQ(GetInt(nullptr, L"four"), 0x61);
}

// The readers cannot tell a missing value from an empty or unreadable one; status and last error can.
TEST_F(Registry, StatusAndLastErrorTellAMissingValue) {
    ASSERT_TRUE(Put(nullptr, L"empty", L"") && Put(nullptr, L"long", std::wstring(300, L'x').c_str()));
    ASSERT_TRUE(PutInt(nullptr, L"zero", 0));
    for (const wchar_t* present : {L"empty", L"EMPTY", L"long", L"zero"}) {
        EXPECT_EQ(CBrimRegistry::LocalValueStatus(HKEY_CURRENT_USER, Key(), present), 0u) << present;
    }
    EXPECT_EQ(CBrimRegistry::LocalValueStatus(HKEY_CURRENT_USER, Key(), L"absent"), 2u);
    EXPECT_EQ(CBrimRegistry::LocalValueStatus(HKEY_CURRENT_USER, Key(L"absent"), L"empty"), 2u);
    SetLastError(0);
    EXPECT_EQ(Get(L"missing", L"v"), L"");
    EXPECT_EQ(GetLastError(), 2u);
    SetLastError(0);
    EXPECT_EQ(GetInt(nullptr, L"absent"), 0);
    EXPECT_EQ(GetLastError(), 2u);
    SetLastError(0);
    EXPECT_FALSE(CBrimRegistry::LocalWriteString(nullptr, L"Software", L"v", L"t"));   // no key behind the handle
    EXPECT_EQ(GetLastError(), 6u);
}

TEST_F(Registry, DeleteRemovesAWholeTreeAndLeavesTheBufferAsGiven) {
    for (const wchar_t* leaf : {L"tree\\a\\x\\deep", L"tree\\a\\y", L"tree\\b", L"tree\\c\\z"}) ASSERT_TRUE(Put(leaf, L"v", L"1"));
    ASSERT_TRUE(PutInt(L"tree", L"top", 7) && PutInt(L"sibling", L"keep", 9) && PutInt(L"leaf", L"n", 1));
    // A guard past the terminator shows that nothing is written beyond it.
    std::wstring path = std::wstring(Key(L"tree").GetString()) + L'\0' + L"GUARD";
    EXPECT_EQ(Delete(path), 1);
    EXPECT_EQ(m_printed, "");
    EXPECT_EQ(path, std::wstring(Key(L"tree").GetString()) + L'\0' + L"GUARD");
    EXPECT_EQ(Get(L"tree\\a\\x\\deep", L"v"), L"");
    EXPECT_EQ(GetInt(L"tree", L"top"), 0);
    EXPECT_EQ(GetInt(L"sibling", L"keep"), 9);
    // A trailing backslash is cut only when the deletion went below the key.
    ASSERT_TRUE(PutInt(L"parent\\child", L"n", 1));
    std::wstring recursive = Key(L"parent\\").GetString(), flat = Key(L"leaf\\").GetString();
    EXPECT_EQ(Delete(recursive), 1);
    EXPECT_EQ(std::wstring(recursive.c_str()), std::wstring(Key(L"parent").GetString()));
    EXPECT_EQ(Delete(flat), 1);
    EXPECT_EQ(std::wstring(flat.c_str()), std::wstring(Key(L"leaf\\").GetString()));
    EXPECT_EQ(GetInt(L"leaf", L"n"), 0);
}

TEST_F(Registry, DeleteFailuresAndTheirMessages) {
    std::wstring missing = Key(L"never\\made").GetString(), anything = L"anything";
    EXPECT_EQ(Delete(missing), 1);   // gone all the same
    EXPECT_EQ(m_printed, "Key not found.\n");
    // A null root is no key at all: opening below it fails otherwise than "not found".
    EXPECT_EQ(Delete(anything, nullptr), 0);
    EXPECT_EQ(m_printed, "Error opening key.\n");
    // An empty path is refused without touching the root.
    ASSERT_TRUE(PutInt(nullptr, L"alive", 1));
    for (std::wstring path : {std::wstring(), std::wstring(L"\\"), std::wstring(L"\\\\")}) {
        EXPECT_EQ(Delete(path), 0);
        EXPECT_EQ(m_printed, "");
    }
    EXPECT_EQ(CBrimRegistry::LocalDeleteSubKey(HKEY_CURRENT_USER, nullptr), 0);
    EXPECT_EQ(GetInt(nullptr, L"alive"), 1);
}

// The application object's stores through CBrimRegistry: the registry (false) and a profile file (true).
class Profile : public RegistryTest, public ::testing::WithParamInterface<bool> {
protected:
    void Use(CWinApp& app) const {
        if (GetParam()) {
            app.SetProfileName(m_dir.File(L"app.ini"));
        } else {
            app.SetRegistryKey(m_base.substr(std::wstring(L"Software\\").size()).c_str());
        }
    }
    TempDir m_dir;
};
INSTANTIATE_TEST_SUITE_P(Stores, Profile, ::testing::Values(false, true));

TEST_P(Profile, SectionsAndEntriesAreKeptApartAndRemoved) {
    CWinApp app(L"ProfileApp");
    Use(app);
    CBrimRegistry registry;
    registry.SetApp(&app);
    EXPECT_EQ(registry.UserReadString(L"One", L"Key", L"default"), L"default");
    EXPECT_EQ(registry.UserReadInt(L"One", L"Number", 9), 9);
    // Windows writes a profile file in the ANSI code page: Korean text only in the registry.
    const wchar_t* first = GetParam() ? L"first" : L"first \xD55C";
    ASSERT_TRUE(registry.UserWriteString(L"One", L"Key", first));
    ASSERT_TRUE(registry.UserWriteString(L"Two", L"Key", L"second"));
    ASSERT_TRUE(registry.UserWriteInt(L"One", L"Number", -12));
    EXPECT_EQ(registry.UserReadString(L"one", L"KEY", L""), first);
    ASSERT_TRUE(registry.UserWriteString(L"One", L"Key", L"replaced"));
    EXPECT_EQ(registry.UserReadString(L"One", L"Key", L""), L"replaced");
    EXPECT_EQ(registry.UserReadString(L"Two", L"Key", L""), L"second");
    EXPECT_EQ(registry.UserReadInt(L"One", L"Number", 0), -12);
    // Text that is no number: the registry's type says so, a file's text reads 0.
    EXPECT_EQ(registry.UserReadInt(L"Two", L"Key", 77), GetParam() ? 0 : 77);
    if (!GetParam()) {
        EXPECT_STREQ(app.m_pszProfileName, L"ProfileApp");
        EXPECT_EQ(Get(L"ProfileApp\\Two", L"Key"), L"second");
    }
    EXPECT_TRUE(registry.UserWriteString(L"One", L"Key", nullptr));
    EXPECT_EQ(registry.UserReadString(L"One", L"Key", L"gone"), L"gone");
    EXPECT_EQ(registry.UserReadInt(L"One", L"Number", 0), -12);
    EXPECT_TRUE(registry.UserWriteString(L"Two", nullptr, nullptr));
    EXPECT_EQ(registry.UserReadString(L"Two", L"Key", L"gone"), L"gone");
}

TEST_P(Profile, ValuesWrittenByOneApplicationObjectAreReadByAnother) {
    {
        CWinApp writer(L"Shared");
        Use(writer);
        ASSERT_TRUE(writer.WriteProfileString(L"Data", L"Name", L"from writer"));
        ASSERT_TRUE(writer.WriteProfileInt(L"Data", L"Count", 42));
    }
    CWinApp reader(L"Shared");
    Use(reader);
    EXPECT_EQ(reader.GetProfileString(L"data", L"name"), L"from writer");
    EXPECT_EQ(reader.GetProfileInt(L"DATA", L"COUNT", 0), 42u);
}

TEST(Application, TheFirstLiveObjectIsTheApplication) {
    CWinApp* before = AfxGetApp();
    {
        CWinApp first(L"First");
        CWinApp second(L"Second");
        if (before == nullptr) {
            EXPECT_EQ(AfxGetApp(), &first);
            EXPECT_EQ(CBrimInfoModule::GetAppName(), L"First");
        }
    }
    EXPECT_EQ(AfxGetApp(), before);
    EXPECT_TRUE(before != nullptr || CBrimInfoModule::GetAppName() == L"");
    CWinApp unnamed;
    EXPECT_STRNE(unnamed.m_pszAppName, L"");
    EXPECT_STREQ(unnamed.m_pszAppName, unnamed.m_pszExeName);
}

#if !defined(_WIN32)
// A store this user may not change (file 444, folder 555) is read; changes fail with 5. Root runs in a user namespace.
TEST(RegistryReadOnlyStore, IsReadAndRefusesChanges) {
    if (geteuid() == 0 && std::system("unshare -U true >/dev/null 2>&1") != 0) GTEST_SKIP() << "root without user namespaces ignores file modes";
    TempDir home, work;
    const std::filesystem::path folder = home.Path() / "brim", out = work.Path() / "out";
    const std::string child = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "brim_test_child").string();
    const std::string command = "XDG_CONFIG_HOME='" + home.Path().string() + "' " + (geteuid() == 0 ? "unshare -U " : "") +
                                "'" + child + "' reg-probe 'Software\\BrimCommonTest\\readonly' >'" + out.string() + "' </dev/null";
    const auto probe = [&] { return std::system(command.c_str()) == 0 ? ReadBytes(out) : "the probe failed"; };
    EXPECT_EQ(probe(), "read \nwrite ok\n");   // makes the store, with the value
    for (const auto& [path, locked, open] :
         {std::tuple{folder / "registry.db", 0444, 0644}, std::tuple{folder, 0555, 0700}}) {
        ASSERT_EQ(chmod(path.c_str(), locked), 0);
        EXPECT_EQ(probe(), "read changed\nwrite failed 5\n") << path;
        ASSERT_EQ(chmod(path.c_str(), open), 0);
    }
}
#endif

}  // namespace
}  // namespace brimtest
