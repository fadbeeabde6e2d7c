// CBrimFileOperation and CBrimFileSHOperation: deleting trees and where it stops, the dot test, renaming.
#include "tests/support/suite.h"
#include "tests/fs/fs_test_util.h"

namespace {

namespace fs = fstest::fs;
using namespace brimtest;
using fstest::MakeFile;
using fstest::Wide;

[[maybe_unused]] long CountEntries(const fs::path& root) {
    return std::distance(fs::recursive_directory_iterator(root), fs::recursive_directory_iterator());
}

TEST(DeleteDirectory, RemovesNestedFoldersAndReadOnlyFilesAndRefusesWhatIsNoFolder) {
    TempDir dir;
    const fs::path tree = dir.Path() / "tree";
    MakeFile(tree / "l1" / "l2" / "l3" / "deep.bin");
    MakeFile(tree / "l1" / "ro.txt");
    fs::permissions(tree / "l1" / "ro.txt", fs::perms::owner_read | fs::perms::group_read);
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_TRUE(fs::exists(dir.Path()));

    SetLastError(0);
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "absent")), 0);
    EXPECT_EQ(GetLastError(), 3u);   // path not found
    MakeFile(dir.Path() / "plain");
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "plain")), 0);
    EXPECT_TRUE(fs::exists(dir.Path() / "plain"));
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(nullptr), 0);
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(L""), 0);

    SetLastError(0);
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / std::string(300, 'n'))), 0);
#if defined(_WIN32)
    EXPECT_EQ(GetLastError(), 206u);   // does not fit the 260-character buffers
#else
    EXPECT_NE(GetLastError(), 0u);     // no such limit here: the name is too long for the file system
#endif
}

#if defined(_WIN32)
TEST(DeleteDirectory, StopsAtAFileOpenWithoutDeleteSharing) {
    TempDir dir;
    const fs::path tree = dir.Path() / "tree";
    MakeFile(tree / "held.txt");
    MakeFile(tree / "sub" / "other.txt");
    HANDLE held = CreateFileW((tree / "held.txt").wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
    EXPECT_TRUE(fs::exists(tree / "held.txt"));
    CloseHandle(held);
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
}
#else
TEST(DeleteDirectory, StopsAtAFolderWithoutWritePermission) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root, which removes entries whatever a folder's permissions";
    TempDir dir;
    const fs::path tree = dir.Path() / "tree";
    MakeFile(tree / "locked" / "kept.txt");
    fs::permissions(tree / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
    EXPECT_EQ(GetLastError(), 5u);
    EXPECT_TRUE(fs::exists(tree / "locked" / "kept.txt"));
    fs::permissions(tree / "locked", fs::perms::owner_all);
}

// Past the path limit, and deeper than the descriptors allow: the levels above a window are opened again.
TEST(DeleteDirectory, TreesPastThePathAndDescriptorLimits) {
    TempDir dir;
    ASSERT_TRUE(fstest::MakeChain(dir.Path(), "long", std::string(60, 'd'), 100));   // about 6100 bytes of path
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "long")), 0);
    EXPECT_FALSE(fs::exists(dir.Path() / "long"));

    ASSERT_TRUE(fstest::MakeChain(dir.Path(), "deep", "d", 1500, {1, 31, 32, 33, 700, 1499}));
    fs::path side = dir.Path() / "deep";
    for (int i = 0; i < 40; ++i) side /= "d";
    MakeFile(side / "side" / "s.txt");   // a second branch below a level that was closed
    {
        fstest::DescriptorLimit limit(48);
        EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "deep")), 0) << GetLastError();
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "deep"));
}

// Links are removed as links at every depth, never followed; given as the folder itself, a link is refused.
TEST(DeleteDirectory, LinksAreRemovedNotEntered) {
    TempDir dir;
    const fs::path tree = dir.Path() / "tree", outside = dir.Path() / "outside";
    MakeFile(outside / "keep.txt");
    MakeFile(outside / "inner" / "keep2.txt");
    MakeFile(tree / "a" / "b" / "x.txt");
    fs::create_directory_symlink(outside, tree / "link");
    fs::create_directory_symlink(outside, tree / "a" / "b" / "out");
    fs::create_symlink(outside / "keep.txt", tree / "filelink");
    fs::create_directory_symlink("..", tree / "a" / "up");   // a loop
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ(CountEntries(outside), 3);

    fs::create_directory_symlink(outside, dir.Path() / "alias");
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "alias")), 0);
    EXPECT_EQ(CountEntries(outside), 3);
}

// Another thread changes the tree during the deletion, which may fail midway but must never reach outside.
void RaceAgainst(int rounds, const std::function<void(const fs::path&, const fs::path&)>& build,
                 const std::function<void(const fs::path&, const fs::path&, const std::atomic<bool>&)>& change) {
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        TempDir dir;
        const fs::path tree = dir.Path() / "tree", outside = dir.Path() / "outside";
        for (int i = 0; i < 3; ++i) MakeFile(outside / Numbered("o", i) / "keep.txt");
        build(dir.Path(), tree);
        const long outsideEntries = CountEntries(outside);
        std::atomic<bool> stop{false};
        std::thread changer([&] { change(tree, outside, stop); });
        CBrimFileOperation::DeleteDirectory(Wide(tree));
        stop = true;
        changer.join();
        std::error_code ec;
        fs::remove_all(outside / "d", ec);   // tree content, wherever it ended up
        EXPECT_EQ(CountEntries(outside), outsideEntries);
    }
}

TEST(DeleteDirectory, FoldersSwappedForLinksMidwayLeadNowhere) {
    constexpr int kVictims = 40;
    RaceAgainst(
        25,
        [](const fs::path&, const fs::path& tree) {
            for (int v = 0; v < kVictims; ++v)
                for (int f = 0; f < 5; ++f) MakeFile(tree / Numbered("v", v) / Numbered("f", f));
        },
        [](const fs::path& tree, const fs::path& outside, const std::atomic<bool>& stop) {
            std::error_code ec;
            while (!stop.load()) {
                for (int v = 0; v < kVictims && !stop.load(); ++v) {
                    const fs::path victim = tree / Numbered("v", v), aside = tree / Numbered("aside", v);
                    fs::rename(victim, aside, ec);
                    if (ec) continue;
                    fs::create_directory_symlink(outside / "o0", victim, ec);
                    std::this_thread::yield();
                    fs::remove(victim, ec);   // the link, if still there
                    fs::rename(aside, victim, ec);
                }
            }
        });
}

TEST(DeleteDirectory, DeepFolderMovedOutMidwayLeavesTheOutsideWhole) {
    fs::path pivot;
    RaceAgainst(
        10,
        [&pivot](const fs::path& root, const fs::path& tree) {
            ASSERT_TRUE(fstest::MakeChain(root, "tree", "d", 120, {60, 100, 110}));
            pivot = tree;
            for (int i = 0; i < 50; ++i) pivot /= "d";   // deep enough that the levels above it get closed
        },
        [&pivot](const fs::path&, const fs::path& outside, const std::atomic<bool>& stop) {
            std::error_code ec;
            while (!stop.load()) {
                fs::rename(pivot, outside / "d", ec);
                std::this_thread::yield();
                fs::rename(outside / "d", pivot, ec);
            }
        });
}
#endif

TEST(IsDots, OnlyTheTwoSpecialNames) {
    for (const wchar_t* name : {L".", L".."}) EXPECT_EQ(CBrimFileOperation::IsDots(name), 1);
    for (const wchar_t* name : {L"", L"...", L". ", L".a", L"a", static_cast<const wchar_t*>(nullptr)})
        EXPECT_EQ(CBrimFileOperation::IsDots(name), 0);
}

TEST(ShellRename, TakenNameGivesAFreshNameAndLosesNothing) {
    TempDir dir;
    const fs::path d = dir.Path();
    for (const char* name : {"a.txt", "b.txt", "c.txt", "README", "notes", "old", "same"}) MakeFile(d / name, name);
    CBrimFileSHOperation::rename(Wide(d / "old"), Wide(d / "new"));
    EXPECT_EQ(ReadBytes(d / "new"), "old");
    EXPECT_FALSE(fs::exists(d / "old"));
    CBrimFileSHOperation::rename(Wide(d / "absent.txt"), Wide(d / "x.txt"));
    EXPECT_FALSE(fs::exists(d / "x.txt"));
    CBrimFileSHOperation::rename(Wide(d / "same"), Wide(d / "same"));
    EXPECT_EQ(ReadBytes(d / "same"), "same");
    EXPECT_FALSE(fs::exists(d / "same (2)"));
    CBrimFileSHOperation::rename(nullptr, L"x");
    for (const char* from : {"a.txt", "c.txt"}) CBrimFileSHOperation::rename(Wide(d / from), Wide(d / "b.txt"));
    CBrimFileSHOperation::rename(Wide(d / "notes"), Wide(d / "README"));
    EXPECT_EQ(ReadBytes(d / "b.txt"), "b.txt");
    EXPECT_EQ(ReadBytes(d / "README"), "README");
#if defined(_WIN32)
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
        // Wine 8's shell renames nothing here (183); Windows picks "b (2).txt". Either way nothing is lost.
        for (const char* name : {"a.txt", "c.txt", "notes"}) EXPECT_EQ(ReadBytes(d / name), name);
        return;
    }
#endif
    EXPECT_FALSE(fs::exists(d / "a.txt"));
    EXPECT_FALSE(fs::exists(d / "c.txt"));
    EXPECT_EQ(ReadBytes(d / "b (2).txt"), "a.txt");
    EXPECT_EQ(ReadBytes(d / "b (3).txt"), "c.txt");
    EXPECT_EQ(ReadBytes(d / "README (2)"), "notes");
#if !defined(_WIN32)
    const std::string longest(255, 'n');   // its fresh name "n... (2)" is past the file system's limit
    MakeFile(d / longest);
    CBrimFileSHOperation::rename(Wide(d / "same"), Wide(d / longest));
    EXPECT_EQ(GetLastError(), 206u);
    EXPECT_EQ(ReadBytes(d / "same"), "same");
#endif
}

}  // namespace
