#include "tests/env/registry_fixture.h"

#include "tests/support/printers.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace brimtest {
namespace {

using Local = CBrimRegistry;

std::wstring Repeat(wchar_t c, int n) { return std::wstring(static_cast<std::size_t>(n), c); }

// Runs the deletion with its output captured; returns the result.
int DeleteCapturing(wchar_t* path, std::string* printed) {
    ::testing::internal::CaptureStdout();
    const int result = Local::LocalDeleteSubKey(HKEY_CURRENT_USER, path);
    *printed = ::testing::internal::GetCapturedStdout();
    return result;
}

using RegistryStrings = RegistryTest;

TEST_F(RegistryStrings, TheReadLimitIs260BytesWithTheTerminator) {
    const std::wstring fits = Repeat(L'a', 129), tooLong = Repeat(L'b', 130);
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(), L"fits", fits.c_str()));
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(), L"long", tooLong.c_str()));
    EXPECT_EQ(Local::LocalReadString(HKEY_CURRENT_USER, Key(), L"fits"), fits.c_str());
    EXPECT_EQ(Local::LocalReadString(HKEY_CURRENT_USER, Key(), L"long"), L"");
}

TEST_F(RegistryStrings, WritingCreatesEveryKeyAlongThePath) {
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(L"one\\two\\three"), L"v", L"deep"));
    EXPECT_EQ(Local::LocalReadString(HKEY_CURRENT_USER, Key(L"one\\two\\three"), L"v"), L"deep");
    // The keys in between exist (they hold no value).
    EXPECT_TRUE(Local::LocalWriteInt(HKEY_CURRENT_USER, Key(L"one"), L"n", 1));
}

TEST_F(RegistryStrings, NullValueStoresEmptyAndNonAsciiTextSurvives) {
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(), L"null", nullptr));
    EXPECT_EQ(Local::LocalReadString(HKEY_CURRENT_USER, Key(), L"null"), L"");
    const wchar_t* text = L"\xD55C\xAD6D\xC5B4 \x00E9\x00E8 \x20AC";
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(), L"text", text));
    EXPECT_EQ(Local::LocalReadString(HKEY_CURRENT_USER, Key(), L"text"), text);
}

TEST_F(RegistryStrings, KeyAndValueNamesIgnoreCase) {
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(L"MixedCase"), L"Name", L"first"));
    EXPECT_EQ(Local::LocalReadString(HKEY_CURRENT_USER, Key(L"mixedcase"), L"NAME"), L"first");
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(L"MIXEDCASE"), L"name", L"second"));
    EXPECT_EQ(Local::LocalReadString(HKEY_CURRENT_USER, Key(L"MixedCase"), L"Name"), L"second");
}

TEST_F(RegistryStrings, MissingKeysAndValuesReadEmpty) {
    EXPECT_EQ(Local::LocalReadString(HKEY_CURRENT_USER, Key(L"absent"), L"v"), L"");
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(), L"present", L"x"));
    EXPECT_EQ(Local::LocalReadString(HKEY_CURRENT_USER, Key(), L"absent"), L"");
}

// The readers cannot tell these apart; the status can.
TEST_F(RegistryStrings, StatusTellsAMissingValueFromAnEmptyOrUnreadableOne) {
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(), L"empty", L""));
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(), L"long", Repeat(L'x', 300).c_str()));
    ASSERT_TRUE(Local::LocalWriteInt(HKEY_CURRENT_USER, Key(), L"zero", 0));
    for (const wchar_t* present : {L"empty", L"EMPTY", L"long", L"zero"}) {
        EXPECT_EQ(Local::LocalValueStatus(HKEY_CURRENT_USER, Key(), present), 0u) << present;
    }
    EXPECT_EQ(Local::LocalValueStatus(HKEY_CURRENT_USER, Key(), L"absent"), 2u);
    EXPECT_EQ(Local::LocalValueStatus(HKEY_CURRENT_USER, Key(L"absent"), L"empty"), 2u);
    const CStringW key = Key();
    std::vector<wchar_t> path(key.GetString(), key.GetString() + key.GetLength() + 1);
    std::string printed;
    ASSERT_EQ(DeleteCapturing(path.data(), &printed), 1);
    EXPECT_EQ(Local::LocalValueStatus(HKEY_CURRENT_USER, Key(), L"empty"), 2u);
}

using RegistryNumbers = RegistryTest;

TEST_F(RegistryNumbers, RoundTripAndMissingReadsZero) {
    ASSERT_TRUE(Local::LocalWriteInt(HKEY_CURRENT_USER, Key(), L"n", 0xFFFFFFFFul));
    EXPECT_EQ(Local::LocalReadInt(HKEY_CURRENT_USER, Key(), L"n"), -1);
    ASSERT_TRUE(Local::LocalWriteInt(HKEY_CURRENT_USER, Key(), L"n", 123456ul));
    EXPECT_EQ(Local::LocalReadInt(HKEY_CURRENT_USER, Key(), L"n"), 123456);
    EXPECT_EQ(Local::LocalReadInt(HKEY_CURRENT_USER, Key(), L"missing"), 0);
    EXPECT_EQ(Local::LocalReadInt(HKEY_CURRENT_USER, Key(L"no\\such\\key"), L"n"), 0);
}

TEST_F(RegistryNumbers, DataLongerThanFourBytesReadsZero) {
    // "ab" is 6 bytes of UTF-16 with its terminator; "a" exactly 4.
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(), L"six", L"ab"));
    ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(), L"four", L"a"));
    EXPECT_EQ(Local::LocalReadInt(HKEY_CURRENT_USER, Key(), L"six"), 0);
    EXPECT_EQ(Local::LocalReadInt(HKEY_CURRENT_USER, Key(), L"four"), 0x61);   // the type is not examined
}

using RegistryDelete = RegistryTest;

TEST_F(RegistryDelete, RemovesAWholeTreeAndLeavesTheBufferAsGiven) {
    for (const wchar_t* leaf : {L"a\\x\\deep", L"a\\y", L"b", L"c\\z"}) {
        ASSERT_TRUE(Local::LocalWriteString(HKEY_CURRENT_USER, Key(CStringW(L"tree\\") + leaf), L"v", L"1"));
    }
    ASSERT_TRUE(Local::LocalWriteInt(HKEY_CURRENT_USER, Key(L"tree"), L"top", 7));
    ASSERT_TRUE(Local::LocalWriteInt(HKEY_CURRENT_USER, Key(L"sibling"), L"keep", 9));

    std::wstring path = std::wstring(Key(L"tree").GetString());
    const std::wstring before = path;
    std::string printed;
    EXPECT_EQ(DeleteCapturing(path.data(), &printed), 1);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(std::wstring(path.c_str()), before);
    EXPECT_EQ(Local::LocalReadString(HKEY_CURRENT_USER, Key(L"tree\\a\\x\\deep"), L"v"), L"");
    EXPECT_EQ(Local::LocalReadInt(HKEY_CURRENT_USER, Key(L"tree"), L"top"), 0);
    EXPECT_EQ(Local::LocalReadInt(HKEY_CURRENT_USER, Key(L"sibling"), L"keep"), 9);
}

TEST_F(RegistryDelete, ATrailingBackslashIsCutOnlyWhenDeletionWentBelowTheKey) {
    ASSERT_TRUE(Local::LocalWriteInt(HKEY_CURRENT_USER, Key(L"parent\\child"), L"n", 1));
    ASSERT_TRUE(Local::LocalWriteInt(HKEY_CURRENT_USER, Key(L"leaf"), L"n", 1));

    // A guard past the terminator shows that nothing is written beyond it.
    std::wstring recursive = std::wstring(Key(L"parent\\").GetString()) + L'\0' + L"GUARD";
    std::string printed;
    EXPECT_EQ(DeleteCapturing(recursive.data(), &printed), 1);
    EXPECT_EQ(std::wstring(recursive.c_str()), std::wstring(Key(L"parent").GetString()));
    EXPECT_EQ(recursive.substr(recursive.size() - 5), L"GUARD");

    std::wstring flat = std::wstring(Key(L"leaf\\").GetString());
    EXPECT_EQ(DeleteCapturing(flat.data(), &printed), 1);
    EXPECT_EQ(std::wstring(flat.c_str()), std::wstring(Key(L"leaf\\").GetString()));
    EXPECT_EQ(Local::LocalReadInt(HKEY_CURRENT_USER, Key(L"leaf"), L"n"), 0);
}

TEST_F(RegistryDelete, AMissingKeyPrintsItsMessageAndCountsAsGone) {
    std::wstring path = std::wstring(Key(L"never\\made").GetString());
    std::string printed;
    EXPECT_EQ(DeleteCapturing(path.data(), &printed), 1);
    EXPECT_EQ(printed, "Key not found.\n");
}

TEST_F(RegistryDelete, AnEmptyPathIsRefusedWithoutTouchingTheRoot) {
    ASSERT_TRUE(Local::LocalWriteInt(HKEY_CURRENT_USER, Key(), L"alive", 1));
    for (std::wstring path : {std::wstring(), std::wstring(L"\\"), std::wstring(L"\\\\")}) {
        std::string printed;
        EXPECT_EQ(DeleteCapturing(path.data(), &printed), 0);
        EXPECT_EQ(printed, "");
    }
    EXPECT_EQ(Local::LocalDeleteSubKey(HKEY_CURRENT_USER, nullptr), 0);
    EXPECT_EQ(Local::LocalReadInt(HKEY_CURRENT_USER, Key(), L"alive"), 1);
}

TEST_F(RegistryDelete, AKeyThatCannotBeOpenedPrintsTheOtherMessage) {
    // A null root is no key at all: opening below it fails with a code other
    // than "not found".
    std::wstring path = L"anything";
    const HKEY none = nullptr;
    ::testing::internal::CaptureStdout();
    const int result = Local::LocalDeleteSubKey(none, path.data());
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(printed, "Error opening key.\n");
}

}  // namespace
}  // namespace brimtest

namespace brimtest {
namespace {

// A failure the result reports only as false or empty still leaves its
// reason as the thread's last error, so that its text can be printed.
TEST_F(RegistryStrings, FailuresLeaveTheirReasonAsTheLastError) {
    SetLastError(0);
    EXPECT_EQ(CBrimRegistry::LocalReadString(HKEY_CURRENT_USER, Key(L"missing"), L"v"), L"");
    EXPECT_EQ(GetLastError(), 2u);
    ASSERT_TRUE(CBrimRegistry::LocalWriteInt(HKEY_CURRENT_USER, Key(), L"n", 1));
    SetLastError(0);
    EXPECT_EQ(CBrimRegistry::LocalReadInt(HKEY_CURRENT_USER, Key(), L"absent"), 0);
    EXPECT_EQ(GetLastError(), 2u);
    SetLastError(0);
    EXPECT_FALSE(CBrimRegistry::LocalWriteString(nullptr, L"Software", L"v", L"t"));   // no key behind the handle
    EXPECT_EQ(GetLastError(), 6u);   // its text is the system's (Wine words it its own way)
}

#if !defined(_WIN32)
// POSIX: the store is a file. One this user may not change (the file at
// 444, or its folder at 555) is read as it is, and changes fail with 5.
// Each probe is a fresh process, as `brim reg` is; as root it runs in a user
// namespace of its own, where the file's modes bind it too.
TEST(RegistryReadOnlyStore, IsReadAndRefusesChanges) {
    if (geteuid() == 0 && std::system("unshare -U true >/dev/null 2>&1") != 0) GTEST_SKIP() << "root without user namespaces ignores file modes";
    TempDir home, work;
    const std::filesystem::path folder = home.Path() / "brim";
    const std::string child = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "brim_test_child").string();
    const std::string key = "Software\\BrimCommonTest\\readonly";
    const auto probe = [&] {
        const std::string out = (work.Path() / "out").string();
        const std::string command = "XDG_CONFIG_HOME='" + home.Path().string() + "' " + (geteuid() == 0 ? "unshare -U " : "") +
                                    "'" + child + "' reg-probe '" + key + "' >'" + out + "' </dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return ReadBytes(out);
    };
    EXPECT_EQ(probe(), "read \nwrite ok\n");   // makes the store, with the value
    struct Case {
        const char* what;
        std::filesystem::path path;
        mode_t locked, open;
    };
    for (const Case& c : {Case{"store at 444", folder / "registry.db", 0444, 0644}, Case{"folder at 555", folder, 0555, 0700}}) {
        ASSERT_EQ(chmod(c.path.c_str(), c.locked), 0);
        EXPECT_EQ(probe(), "read changed\nwrite failed 5\n") << c.what;
        ASSERT_EQ(chmod(c.path.c_str(), c.open), 0);
    }
}
#endif

}  // namespace
}  // namespace brimtest
