#include "tests/env/registry_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace brimtest {
namespace {

class Registry : public RegistryTest {
protected:
    // The deletion of path with its output captured.
    static int Delete(std::wstring& path, std::string* printed, HKEY root = HKEY_CURRENT_USER) {
        ::testing::internal::CaptureStdout();
        const int result = CBrimRegistry::LocalDeleteSubKey(root, path.data());
        *printed = ::testing::internal::GetCapturedStdout();
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
    EXPECT_EQ(Get(nullptr, L"long"), L"");
    EXPECT_EQ(Get(nullptr, L"null"), L"");
    EXPECT_EQ(Get(nullptr, L"text"), text);
    EXPECT_EQ(Get(nullptr, L"absent"), L"");
    EXPECT_EQ(Get(L"absent", L"v"), L"");
    // Every key along the path is made; names ignore case.
    ASSERT_TRUE(Put(L"one\\Two\\three", L"Name", L"deep"));
    EXPECT_EQ(Get(L"ONE\\two\\three", L"NAME"), L"deep");
    ASSERT_TRUE(Put(L"ONE\\TWO\\THREE", L"name", L"second"));
    EXPECT_EQ(Get(L"one\\two\\three", L"Name"), L"second");
    EXPECT_TRUE(PutInt(L"one", L"n", 1));
}

// The readers cannot tell these apart; the status can.
TEST_F(Registry, StatusTellsAMissingValueFromAnEmptyOrUnreadableOne) {
    ASSERT_TRUE(Put(nullptr, L"empty", L"") && Put(nullptr, L"long", std::wstring(300, L'x').c_str()));
    ASSERT_TRUE(PutInt(nullptr, L"zero", 0));
    for (const wchar_t* present : {L"empty", L"EMPTY", L"long", L"zero"}) {
        EXPECT_EQ(CBrimRegistry::LocalValueStatus(HKEY_CURRENT_USER, Key(), present), 0u) << present;
    }
    EXPECT_EQ(CBrimRegistry::LocalValueStatus(HKEY_CURRENT_USER, Key(), L"absent"), 2u);
    EXPECT_EQ(CBrimRegistry::LocalValueStatus(HKEY_CURRENT_USER, Key(L"absent"), L"empty"), 2u);
    std::wstring path = m_base;
    ASSERT_EQ(Delete(path, &m_printed), 1);
    EXPECT_EQ(CBrimRegistry::LocalValueStatus(HKEY_CURRENT_USER, Key(), L"empty"), 2u);
}

TEST_F(Registry, NumbersAreFourBytesAndMissingOnesReadZero) {
    ASSERT_TRUE(PutInt(nullptr, L"n", 0xFFFFFFFFul));
    EXPECT_EQ(GetInt(nullptr, L"n"), -1);
    ASSERT_TRUE(PutInt(nullptr, L"n", 123456ul));
    EXPECT_EQ(GetInt(nullptr, L"n"), 123456);
    EXPECT_EQ(GetInt(nullptr, L"missing"), 0);
    EXPECT_EQ(GetInt(L"no\\such\\key", L"n"), 0);
    // "ab" is 6 bytes of UTF-16 with its terminator, "a" exactly 4: the type is not examined.
    ASSERT_TRUE(Put(nullptr, L"six", L"ab") && Put(nullptr, L"four", L"a"));
    EXPECT_EQ(GetInt(nullptr, L"six"), 0);
    EXPECT_EQ(GetInt(nullptr, L"four"), 0x61);
}

TEST_F(Registry, DeleteRemovesAWholeTreeAndLeavesTheBufferAsGiven) {
    for (const wchar_t* leaf : {L"tree\\a\\x\\deep", L"tree\\a\\y", L"tree\\b", L"tree\\c\\z"}) ASSERT_TRUE(Put(leaf, L"v", L"1"));
    ASSERT_TRUE(PutInt(L"tree", L"top", 7) && PutInt(L"sibling", L"keep", 9));
    std::wstring path = Key(L"tree").GetString();
    EXPECT_EQ(Delete(path, &m_printed), 1);
    EXPECT_EQ(m_printed, "");
    EXPECT_EQ(std::wstring(path.c_str()), std::wstring(Key(L"tree").GetString()));
    EXPECT_EQ(Get(L"tree\\a\\x\\deep", L"v"), L"");
    EXPECT_EQ(GetInt(L"tree", L"top"), 0);
    EXPECT_EQ(GetInt(L"sibling", L"keep"), 9);
}

TEST_F(Registry, DeleteCutsATrailingBackslashOnlyWhenItWentBelowTheKey) {
    ASSERT_TRUE(PutInt(L"parent\\child", L"n", 1) && PutInt(L"leaf", L"n", 1));
    // A guard past the terminator shows that nothing is written beyond it.
    std::wstring recursive = std::wstring(Key(L"parent\\").GetString()) + L'\0' + L"GUARD";
    EXPECT_EQ(Delete(recursive, &m_printed), 1);
    EXPECT_EQ(std::wstring(recursive.c_str()), std::wstring(Key(L"parent").GetString()));
    EXPECT_EQ(recursive.substr(recursive.size() - 5), L"GUARD");
    std::wstring flat = Key(L"leaf\\").GetString();
    EXPECT_EQ(Delete(flat, &m_printed), 1);
    EXPECT_EQ(std::wstring(flat.c_str()), std::wstring(Key(L"leaf\\").GetString()));
    EXPECT_EQ(GetInt(L"leaf", L"n"), 0);
}

TEST_F(Registry, DeleteFailuresAndTheirMessages) {
    std::wstring missing = Key(L"never\\made").GetString();
    EXPECT_EQ(Delete(missing, &m_printed), 1);   // gone all the same
    EXPECT_EQ(m_printed, "Key not found.\n");
    // A null root is no key at all: opening below it fails otherwise than "not found".
    std::wstring anything = L"anything";
    EXPECT_EQ(Delete(anything, &m_printed, nullptr), 0);
    EXPECT_EQ(m_printed, "Error opening key.\n");
    // An empty path is refused without touching the root.
    ASSERT_TRUE(PutInt(nullptr, L"alive", 1));
    for (std::wstring path : {std::wstring(), std::wstring(L"\\"), std::wstring(L"\\\\")}) {
        EXPECT_EQ(Delete(path, &m_printed), 0);
        EXPECT_EQ(m_printed, "");
    }
    EXPECT_EQ(CBrimRegistry::LocalDeleteSubKey(HKEY_CURRENT_USER, nullptr), 0);
    EXPECT_EQ(GetInt(nullptr, L"alive"), 1);
}

// A failure the result reports only as false or empty leaves its reason as
// the thread's last error, so that its text can be printed.
TEST_F(Registry, FailuresLeaveTheirReasonAsTheLastError) {
    SetLastError(0);
    EXPECT_EQ(Get(L"missing", L"v"), L"");
    EXPECT_EQ(GetLastError(), 2u);
    ASSERT_TRUE(PutInt(nullptr, L"n", 1));
    SetLastError(0);
    EXPECT_EQ(GetInt(nullptr, L"absent"), 0);
    EXPECT_EQ(GetLastError(), 2u);
    SetLastError(0);
    EXPECT_FALSE(CBrimRegistry::LocalWriteString(nullptr, L"Software", L"v", L"t"));   // no key behind the handle
    EXPECT_EQ(GetLastError(), 6u);
}

#if !defined(_WIN32)
// POSIX: the store is a file. One this user may not change (the file at 444,
// or its folder at 555) is read as it is, and changes fail with 5. Each probe
// is a fresh process, as `brim reg` is; as root it runs in a user namespace of
// its own, where the file's modes bind it too.
TEST(RegistryReadOnlyStore, IsReadAndRefusesChanges) {
    if (geteuid() == 0 && std::system("unshare -U true >/dev/null 2>&1") != 0) GTEST_SKIP() << "root without user namespaces ignores file modes";
    TempDir home, work;
    const std::filesystem::path folder = home.Path() / "brim";
    const std::string child = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "brim_test_child").string();
    const auto probe = [&] {
        const std::string out = (work.Path() / "out").string();
        const std::string command = "XDG_CONFIG_HOME='" + home.Path().string() + "' " + (geteuid() == 0 ? "unshare -U " : "") +
                                    "'" + child + "' reg-probe 'Software\\BrimCommonTest\\readonly' >'" + out + "' </dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return ReadBytes(out);
    };
    EXPECT_EQ(probe(), "read \nwrite ok\n");   // makes the store, with the value
    struct Case {
        std::filesystem::path path;
        mode_t locked, open;
    };
    for (const Case& c : {Case{folder / "registry.db", 0444, 0644}, Case{folder, 0555, 0700}}) {
        ASSERT_EQ(chmod(c.path.c_str(), c.locked), 0);
        EXPECT_EQ(probe(), "read changed\nwrite failed 5\n") << c.path;
        ASSERT_EQ(chmod(c.path.c_str(), c.open), 0);
    }
}
#endif

}  // namespace
}  // namespace brimtest
