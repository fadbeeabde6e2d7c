// CBrimFileOperation and CBrimFileSHOperation: deletion of whole trees and
// where it must stop, the dot test, and renaming onto a taken name.
#include <brim/brim.h>

#include "tests/fs/fs_test_util.h"
#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace {

namespace fs = fstest::fs;
using fstest::MakeFile;
using fstest::Wide;
using brimtest::Numbered;

[[maybe_unused]] int CountEntries(const fs::path& root) {
    int n = 0;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) ++n;
    return n;
}

TEST(DeleteDirectory, RemovesNestedFoldersAndReadOnlyFiles) {
    brimtest::TempDir dir;
    const fs::path tree = dir.Path() / "tree";
    MakeFile(tree / "top.txt");
    MakeFile(tree / "l1" / "l2" / "l3" / "deep.bin", std::string(100000, 'z'));
    MakeFile(tree / "l1" / "ro.txt");
    fs::create_directories(tree / "l1" / "empty");
    fs::permissions(tree / "l1" / "ro.txt", fs::perms::owner_read | fs::perms::group_read);
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_TRUE(fs::exists(dir.Path()));
}

TEST(DeleteDirectory, EmptyFolderAndSeparatorAtTheEnd) {
    brimtest::TempDir dir;
    fs::create_directory(dir.Path() / "empty");
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "empty")), 0);
    EXPECT_FALSE(fs::exists(dir.Path() / "empty"));
}

TEST(DeleteDirectory, MissingFolderOrFileGivesZero) {
    brimtest::TempDir dir;
    SetLastError(0);
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "absent")), 0);
    EXPECT_EQ(GetLastError(), 3u);   // path not found
    MakeFile(dir.Path() / "plain");
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "plain")), 0);
    EXPECT_TRUE(fs::exists(dir.Path() / "plain"));
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(nullptr), 0);
}

TEST(DeleteDirectory, OverlongPathGivesZero) {
    brimtest::TempDir dir;
    const CStringW name = Wide(dir.Path()) + CStringW(fstest::kSeparator) + CStringW(L'n', 300);
    SetLastError(0);
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(name), 0);
#if defined(_WIN32)
    EXPECT_EQ(GetLastError(), 206u);   // does not fit the 260-character buffers
#else
    EXPECT_NE(GetLastError(), 0u);     // no such limit here: the name simply is too long for the file system
#endif
}

#if defined(_WIN32)
TEST(DeleteDirectory, StopsAtAFileOpenWithoutDeleteSharing) {
    brimtest::TempDir dir;
    const fs::path tree = dir.Path() / "tree";
    MakeFile(tree / "held.txt");
    MakeFile(tree / "sub" / "other.txt");
    HANDLE held = CreateFileW((tree / "held.txt").wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
    EXPECT_TRUE(fs::exists(tree / "held.txt"));
    EXPECT_TRUE(fs::exists(tree));
    CloseHandle(held);
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
}
#else
TEST(DeleteDirectory, StopsAtAFolderWithoutWritePermission) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root, which removes entries whatever a folder's permissions";
    brimtest::TempDir dir;
    const fs::path tree = dir.Path() / "tree";
    MakeFile(tree / "locked" / "kept.txt");
    fs::permissions(tree / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
    EXPECT_EQ(GetLastError(), 5u);
    EXPECT_TRUE(fs::exists(tree / "locked" / "kept.txt"));
    fs::permissions(tree / "locked", fs::perms::owner_all);
}

// Every step is relative to an open folder, so a tree whose paths are longer
// than the system's path limit goes as well.
TEST(DeleteDirectory, TreeDeeperThanThePathLimit) {
    brimtest::TempDir dir;
    const std::string segment(60, 'd');
    int fd = open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(mkdirat(fd, "deep", 0755), 0);
    int level = openat(fd, "deep", O_RDONLY | O_DIRECTORY);
    close(fd);
    for (int i = 0; i < 100; ++i) {   // about 6100 bytes of path
        ASSERT_EQ(mkdirat(level, segment.c_str(), 0755), 0);
        const int next = openat(level, segment.c_str(), O_RDONLY | O_DIRECTORY);
        close(level);
        ASSERT_GE(next, 0);
        level = next;
    }
    const int file = openat(level, "leaf.txt", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(file, 0);
    close(file);
    close(level);
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "deep")), 0);
    EXPECT_FALSE(fs::exists(dir.Path() / "deep"));
}

// The link is removed, not followed.
TEST(DeleteDirectory, LinkToAnOutsideFolderLeavesTheOutsideWhole) {
    brimtest::TempDir dir;
    const fs::path tree = dir.Path() / "tree", outside = dir.Path() / "outside";
    MakeFile(outside / "keep.txt");
    MakeFile(outside / "inner" / "keep2.txt");
    MakeFile(tree / "a.txt");
    fs::create_directory_symlink(outside, tree / "link");
    fs::create_symlink(outside / "keep.txt", tree / "filelink");
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ(CountEntries(outside), 3);

    // Given as the folder itself, a link is refused.
    fs::create_directory_symlink(outside, dir.Path() / "alias");
    EXPECT_EQ(CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "alias")), 0);
    EXPECT_EQ(CountEntries(outside), 3);
}

// A second thread keeps swapping folders of the tree for links to a folder
// outside it while the deletion runs.
TEST(DeleteDirectory, FoldersSwappedForLinksMidwayLeadNowhere) {
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        brimtest::TempDir dir;
        const fs::path tree = dir.Path() / "tree", outside = dir.Path() / "outside";
        for (int i = 0; i < 10; ++i) MakeFile(outside / Numbered("o", i) / "keep.txt");
        constexpr int kVictims = 40;
        for (int v = 0; v < kVictims; ++v)
            for (int f = 0; f < 15; ++f) MakeFile(tree / Numbered("v", v) / Numbered("f", f));
        const int outsideEntries = CountEntries(outside);

        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            std::error_code ec;
            while (!stop.load()) {
                for (int v = 0; v < kVictims && !stop.load(); ++v) {
                    const fs::path victim = tree / Numbered("v", v);
                    const fs::path aside = tree / Numbered("aside", v);
                    fs::rename(victim, aside, ec);
                    if (ec) continue;
                    fs::create_directory_symlink(outside / "o0", victim, ec);
                    std::this_thread::yield();
                    fs::remove(victim, ec);   // the link, if still there
                    fs::rename(aside, victim, ec);
                }
            }
        });
        CBrimFileOperation::DeleteDirectory(Wide(tree));   // may fail midway; must not escape
        stop = true;
        swapper.join();
        EXPECT_EQ(CountEntries(outside), outsideEntries);
    }
}
#endif

TEST(IsDots, OnlyTheTwoSpecialNames) {
    EXPECT_EQ(CBrimFileOperation::IsDots(L"."), 1);
    EXPECT_EQ(CBrimFileOperation::IsDots(L".."), 1);
    for (const wchar_t* name : {L"", L"...", L". ", L".a", L"a", L"..."}) EXPECT_EQ(CBrimFileOperation::IsDots(name), 0);
    EXPECT_EQ(CBrimFileOperation::IsDots(nullptr), 0);
}

// ---------------------------------------------------------------------------
bool UnderWine() {
#if defined(_WIN32)
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

TEST(ShellRename, RenamesToAFreeName) {
    brimtest::TempDir dir;
    MakeFile(dir.Path() / "old.txt", "payload");
    CBrimFileSHOperation::rename(Wide(dir.Path() / "old.txt"), Wide(dir.Path() / "new.txt"));
    EXPECT_FALSE(fs::exists(dir.Path() / "old.txt"));
    EXPECT_EQ(brimtest::ReadBytes(dir.Path() / "new.txt"), "payload");
}

TEST(ShellRename, TakenNameGivesAFreshNameAndLosesNothing) {
    brimtest::TempDir dir;
    const fs::path d = dir.Path();
    MakeFile(d / "a.txt", "first");
    MakeFile(d / "b.txt", "taken");
    MakeFile(d / "c.txt", "second");
    CBrimFileSHOperation::rename(Wide(d / "a.txt"), Wide(d / "b.txt"));
    CBrimFileSHOperation::rename(Wide(d / "c.txt"), Wide(d / "b.txt"));
    EXPECT_EQ(brimtest::ReadBytes(d / "b.txt"), "taken");
    if (UnderWine()) {
        // Wine 8's shell does not honour rename-on-collision for FO_RENAME:
        // SHFileOperationW returns 183 (ERROR_ALREADY_EXISTS) and renames
        // nothing, which still loses nothing. Windows picks "b (2).txt".
        EXPECT_EQ(brimtest::ReadBytes(d / "a.txt"), "first");
        EXPECT_EQ(brimtest::ReadBytes(d / "c.txt"), "second");
        return;
    }
    EXPECT_FALSE(fs::exists(d / "a.txt"));
    EXPECT_FALSE(fs::exists(d / "c.txt"));
    EXPECT_EQ(brimtest::ReadBytes(d / "b (2).txt"), "first");
    EXPECT_EQ(brimtest::ReadBytes(d / "b (3).txt"), "second");
}

TEST(ShellRename, FoldersAndNamesWithoutExtension) {
    brimtest::TempDir dir;
    const fs::path d = dir.Path();
    MakeFile(d / "src" / "inside.txt", "in");
    fs::create_directory(d / "dst");
    MakeFile(d / "README", "r");
    MakeFile(d / "notes", "n");
    CBrimFileSHOperation::rename(Wide(d / "src"), Wide(d / "dst"));
    CBrimFileSHOperation::rename(Wide(d / "notes"), Wide(d / "README"));
    EXPECT_EQ(brimtest::ReadBytes(d / "README"), "r");
    if (UnderWine()) {   // refused, as above
        EXPECT_TRUE(fs::exists(d / "src" / "inside.txt"));
        return;
    }
    EXPECT_EQ(brimtest::ReadBytes(d / "dst (2)" / "inside.txt"), "in");
    EXPECT_EQ(brimtest::ReadBytes(d / "README (2)"), "n");
}

TEST(ShellRename, MissingSourceOrSameNameChangesNothing) {
    brimtest::TempDir dir;
    MakeFile(dir.Path() / "same.txt", "s");
    CBrimFileSHOperation::rename(Wide(dir.Path() / "absent.txt"), Wide(dir.Path() / "x.txt"));
    EXPECT_FALSE(fs::exists(dir.Path() / "x.txt"));
    CBrimFileSHOperation::rename(Wide(dir.Path() / "same.txt"), Wide(dir.Path() / "same.txt"));
    EXPECT_EQ(brimtest::ReadBytes(dir.Path() / "same.txt"), "s");
    EXPECT_FALSE(fs::exists(dir.Path() / "same (2).txt"));
    CBrimFileSHOperation::rename(nullptr, L"x");
}

}  // namespace

#if !defined(_WIN32)
namespace {

// Deeper than the descriptors allowed: only a window of levels may be open at
// once, the ones above are opened again on the way back up. Side folders and
// files along the chain make the reopened levels hold more to remove.
TEST(DeleteDirectory, TreeDeeperThanTheDescriptorLimit) {
    brimtest::TempDir dir;
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

// A deep part of the tree is moved out of it, keeping its name, while the
// deletion runs below it: the levels above the moved folder must not be
// reached through its new place, whose ".." is outside.
TEST(DeleteDirectory, DeepFolderMovedOutMidwayLeavesTheOutsideWhole) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        brimtest::TempDir dir;
        const fs::path outside = dir.Path() / "outside";
        for (int i = 0; i < 10; ++i) MakeFile(outside / ("keep" + std::to_string(i)) / "keep.txt");
        ASSERT_TRUE(fstest::MakeChain(dir.Path(), "tree", "d", 120, {60, 100, 110}));
        fs::path pivot = dir.Path() / "tree";
        for (int i = 0; i < 50; ++i) pivot /= "d";   // deep enough that the levels above it get closed
        const int outsideEntries = CountEntries(outside);

        std::atomic<bool> stop{false};
        std::thread mover([&] {
            std::error_code ec;
            while (!stop.load()) {
                fs::rename(pivot, outside / "d", ec);
                std::this_thread::yield();
                fs::rename(outside / "d", pivot, ec);
            }
        });
        CBrimFileOperation::DeleteDirectory(Wide(dir.Path() / "tree"));   // may stop; must not escape
        stop = true;
        mover.join();
        std::error_code ec;
        fs::remove_all(outside / "d", ec);   // tree content, wherever it ended up
        EXPECT_EQ(CountEntries(outside), outsideEntries);
    }
}

// Links are removed as links at every depth; the folders they lead to stay.
TEST(DeleteDirectory, FolderLinksAreRemovedNotEntered) {
    brimtest::TempDir dir;
    const fs::path tree = dir.Path() / "tree", outside = dir.Path() / "outside";
    MakeFile(outside / "keep.txt");
    MakeFile(tree / "a" / "b" / "x.txt");
    fs::create_directory_symlink(outside, tree / "a" / "b" / "out");
    fs::create_directory_symlink("..", tree / "a" / "up");   // a loop
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(Wide(tree)), 0);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

}  // namespace
#endif
