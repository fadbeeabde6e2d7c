// CBrimFileFind: recursion and hidden switches, the extension filter, the
// hook arguments, missing folders and hooks that throw.
#include <brim/brim.h>

#include "tests/fs/fs_test_util.h"
#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#if !defined(_WIN32)
#  include <dirent.h>
#endif

namespace {

using fstest::fs::path;

// Records "D rel" for folders and "F rel" for files, rel relative to the root
// with '/' separators, and checks the arguments of every call.
class Recorder : public CBrimFileFind {
public:
    explicit Recorder(const path& root) : m_root(root.wstring() + fstest::kSeparator) {}

    void vFoundFolder(const wchar_t* full, const wchar_t* name) override {
        events.push_back(L"D " + Relative(full, name));
    }
    void vFoundFile(const wchar_t* full, const wchar_t* name, const wchar_t* title) override {
        events.push_back(L"F " + Relative(full, name));
        titles.push_back(title);
    }
    std::vector<std::wstring> Sorted() const {
        std::vector<std::wstring> s = events;
        std::sort(s.begin(), s.end());
        return s;
    }
    const CStringW& Extensions() const { return m_strExt; }

    std::vector<std::wstring> events;
    std::vector<std::wstring> titles;

private:
    std::wstring Relative(const std::wstring& full, const std::wstring& name) {
        EXPECT_EQ(full.compare(0, m_root.size(), m_root), 0) << "not below the root: " << path(full).string();
        EXPECT_GE(full.size(), name.size());
        EXPECT_EQ(full.substr(full.size() - name.size()), name);   // the path ends in the name
        std::wstring rel = full.substr(std::min(m_root.size(), full.size()));
        std::replace(rel.begin(), rel.end(), L'\\', L'/');
        return rel;
    }
    std::wstring m_root;
};

using Events = std::vector<std::wstring>;

class FindTree : public testing::Test {
protected:
    void SetUp() override {
        const path& r = dir.Path();
        fstest::MakeFile(r / "a.txt");
        fstest::MakeFile(r / "b.log");
        fstest::MakeFile(r / "sub" / "c.txt");
        fstest::MakeFile(r / "sub" / "deeper" / "d.txt");
        fstest::MakeFile(r / ".hid" / "e.txt");
        fstest::MakeFile(r / ".f.txt");
        fstest::MarkHidden(r / ".hid");
        fstest::MarkHidden(r / ".f.txt");
    }
    Events Walk(const wchar_t* ext, int recursive, int hidden) {
        Recorder finder(dir.Path());
        finder.FindFoldersFiles(fstest::Wide(dir.Path()), ext, recursive, hidden);
        return finder.Sorted();
    }
    brimtest::TempDir dir;
};

TEST_F(FindTree, OnlySwitchValueOneRecurses) {
    EXPECT_EQ(Walk(L"txt", 1, 0), (Events{L"D sub", L"D sub/deeper", L"F a.txt", L"F sub/c.txt", L"F sub/deeper/d.txt"}));
    for (int recursive : {0, 2, -1}) {
        SCOPED_TRACE(recursive);
        // Subfolders are reported but not entered.
        EXPECT_EQ(Walk(L"txt", recursive, 0), (Events{L"D sub", L"F a.txt"}));
    }
}

TEST_F(FindTree, HiddenEntriesOnlyWhenAskedFor) {
    EXPECT_EQ(Walk(L"txt", 1, 1), (Events{L"D .hid", L"D sub", L"D sub/deeper", L"F .f.txt", L"F .hid/e.txt", L"F a.txt",
                                          L"F sub/c.txt", L"F sub/deeper/d.txt"}));
}

TEST_F(FindTree, DepthFirstWithTheFolderFirst) {
    Recorder finder(dir.Path());
    finder.FindFoldersFiles(fstest::Wide(dir.Path()), L"txt,log", 1, 1);
    const Events& e = finder.events;
    ASSERT_EQ(e.size(), 9u);
    // Each folder comes right before a contiguous run of what lies below it.
    for (const std::wstring folder : {L"sub", L"sub/deeper", L".hid"}) {
        const auto at = std::find(e.begin(), e.end(), L"D " + folder);
        ASSERT_NE(at, e.end());
        const std::wstring prefix = folder + L"/";
        auto inside = [&](const std::wstring& ev) { return ev.compare(2, prefix.size(), prefix) == 0; };
        const auto count = std::count_if(e.begin(), e.end(), inside);
        EXPECT_EQ(std::count_if(at + 1, at + 1 + count, inside), count) << "subtree of " << path(folder).string();
    }
}

TEST_F(FindTree, EmptyListReportsFoldersOnly) {
    EXPECT_EQ(Walk(L"", 1, 0), (Events{L"D sub", L"D sub/deeper"}));
    EXPECT_EQ(Walk(nullptr, 0, 0), (Events{L"D sub"}));
}

TEST(CBrimFileFind, ExtensionFilterIsAPlainSuffixTest) {
    brimtest::TempDir dir;
    for (const char* name : {"a.txt", "a.log", "notatxt", "readme", "b.TXT"}) fstest::MakeFile(dir.Path() / name);
    struct Case {
        const wchar_t* list;
        Events files;
    };
    const Case cases[] = {
        {L",,txt,", {L"F a.txt", L"F notatxt"}},
        {L"txt", {L"F a.txt", L"F notatxt"}},
        {L"txt, log", {L"F a.txt", L"F notatxt"}},   // " log" keeps its blank
        {L".txt", {L"F a.txt"}},
        {L"readme", {L"F readme"}},
        {L"*", {}},
        {L"TXT", {L"F b.TXT"}},
        {L"log,TXT", {L"F a.log", L"F b.TXT"}},
        {L"a.txt.longer.than.any.name", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(path(c.list).string());
        Recorder finder(dir.Path());
        finder.FindFoldersFiles(fstest::Wide(dir.Path()), c.list, 0, 0);
        EXPECT_EQ(finder.Sorted(), c.files);
        EXPECT_EQ(finder.Extensions(), CStringW(c.list));   // kept after the call
    }
}

TEST(CBrimFileFind, FileArgumentsNameAndTitle) {
    brimtest::TempDir dir;
    fstest::MakeFile(dir.Path() / "a.tar.gz");
    struct Finder : CBrimFileFind {
        void vFoundFolder(const wchar_t*, const wchar_t*) override {}
        void vFoundFile(const wchar_t* p, const wchar_t* n, const wchar_t* t) override {
            full = p;
            name = n;
            title = t;
        }
        std::wstring full, name, title;
    } finder;
    finder.FindFoldersFiles(fstest::Wide(dir.Path()), L"gz", 0, 0);
    EXPECT_EQ(finder.full, (dir.Path() / "a.tar.gz").wstring());
    EXPECT_EQ(finder.name, L"a.tar.gz");
    EXPECT_EQ(finder.title, L"a.tar");
}

TEST(CBrimFileFind, MissingFolderCallsNoHook) {
    brimtest::TempDir dir;
    Recorder finder(dir.Path());
    finder.FindFoldersFiles(fstest::Wide(dir.Path() / "absent"), L"txt", 1, 1);
    EXPECT_TRUE(finder.events.empty());
}

#if !defined(_WIN32)
int OpenDescriptors() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (readdir(d) != nullptr) ++n;
    closedir(d);
    return n;
}
#endif

TEST(CBrimFileFind, HookExceptionEndsTheWalkAndReachesTheCaller) {
    brimtest::TempDir dir;
    fstest::MakeFile(dir.Path() / "l1" / "l2" / "l3" / "deep.txt");
    fstest::MakeFile(dir.Path() / "l1" / "l2" / "l3" / "deep2.txt");
    struct Thrower : CBrimFileFind {
        void vFoundFolder(const wchar_t*, const wchar_t*) override { ++folders; }
        void vFoundFile(const wchar_t*, const wchar_t*, const wchar_t*) override {
            ++files;
            throw new CBrimException(L"%s", L"stop");
        }
        int folders = 0, files = 0;
    } finder;
#if !defined(_WIN32)
    const int before = OpenDescriptors();
#endif
    try {
        finder.FindFoldersFiles(fstest::Wide(dir.Path()), L"txt", 1, 0);
        FAIL() << "the hook's exception was lost";
    } catch (CBrimException* e) {
        EXPECT_EQ(e->GetMessageW(), CStringW(L"BrimException : stop"));
        e->Delete();
    }
    EXPECT_EQ(finder.folders, 3);
    EXPECT_EQ(finder.files, 1);
#if !defined(_WIN32)
    EXPECT_EQ(OpenDescriptors(), before);   // every level's enumeration was closed
#endif
    // Nothing holds the folders: they can go.
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(fstest::Wide(dir.Path() / "l1")), 0);
}

// ---------------------------------------------------------------------------
TEST(CFileFind, ReportsDotsAndEveryEntryOnce) {
    brimtest::TempDir dir;
    fstest::MakeFile(dir.Path() / "one.txt");
    fstest::fs::create_directory(dir.Path() / "two");
    CFileFind find;
    ASSERT_TRUE(find.FindFile(fstest::Wide(dir.Path()) + CStringW(fstest::kSeparator) + L"*.*"));
    EXPECT_EQ(find.GetRoot(), fstest::Wide(dir.Path()));
    Events seen;
    BOOL more;
    do {
        more = find.FindNextFile();
        std::wstring kind = find.IsDots() ? L"dots " : find.IsDirectory() ? L"dir " : L"file ";
        seen.push_back(kind + find.GetFileName().GetString());
    } while (more);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (Events{L"dir two", L"dots .", L"dots ..", L"file one.txt"}));
    EXPECT_FALSE(find.FindNextFile());   // stays at the end
}

TEST(CFileFind, WildcardsAndFailures) {
    brimtest::TempDir dir;
    for (const char* name : {"a.txt", "b.txt", "ab.log", "noext"}) fstest::MakeFile(dir.Path() / name);
    const CStringW root = fstest::Wide(dir.Path()) + CStringW(fstest::kSeparator);
    auto names = [&](const wchar_t* pattern) {
        Events found;
        CFileFind find;
        BOOL more = find.FindFile(root + pattern);
        while (more) {
            more = find.FindNextFile();
            if (!find.IsDots()) found.push_back(find.GetFileName().GetString());
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    EXPECT_EQ(names(L"*.txt"), (Events{L"a.txt", L"b.txt"}));
    EXPECT_EQ(names(L"a*"), (Events{L"a.txt", L"ab.log"}));
    EXPECT_EQ(names(L"?.txt"), (Events{L"a.txt", L"b.txt"}));
    EXPECT_EQ(names(L"*"), (Events{L"a.txt", L"ab.log", L"b.txt", L"noext"}));

    CFileFind find;
    EXPECT_FALSE(find.FindFile(root + L"*.none"));
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_FALSE(find.FindFile(root + L"absent" + CStringW(fstest::kSeparator) + L"*.*"));
    EXPECT_EQ(GetLastError(), 3u);
    EXPECT_FALSE(find.FindNextFile());
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Folder links are folders to the walk, as on Windows, and a link that leads
// back up its own path ends the descent there.
class LinkedTree : public testing::Test {
protected:
    void SetUp() override {
        const path& r = dir.Path();
        fstest::MakeFile(r / "real" / "a.txt");
        fstest::MakeFile(r / "real" / "inner" / "b.txt");
        fstest::MakeFile(r / "other" / "c.txt");
        std::error_code ec;
        fstest::fs::create_directory_symlink(r / "real", r / "link", ec);
        // Wine 8 does not implement CreateSymbolicLinkW: there the Windows side goes untested.
        if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
        fstest::fs::create_symlink(r / "other" / "c.txt", r / "flink.txt");
        fstest::fs::create_directory_symlink(r, r / "real" / "up");               // back to the root
        fstest::fs::create_directory_symlink(r / "other", r / "real" / "side");   // sideways, once
        fstest::fs::create_directory_symlink(r / "real", r / "other" / "back");   // real -> other -> real
    }
    Events Walk(int recursive) {
        Recorder finder(dir.Path());
        finder.FindFoldersFiles(fstest::Wide(dir.Path()), L"txt", recursive, 0);
        return finder.Sorted();
    }
    brimtest::TempDir dir;
};

TEST_F(LinkedTree, AFolderLinkIsReportedAsAFolderAndEntered) {
    EXPECT_EQ(Walk(0), (Events{L"D link", L"D other", L"D real", L"F flink.txt"}));
    const Events all = Walk(1);
    for (const wchar_t* expected : {L"D link", L"F link/a.txt", L"D link/inner", L"F link/inner/b.txt",
                                    L"F flink.txt", L"D real/side", L"F real/side/c.txt", L"D link/side"}) {
        EXPECT_NE(std::find(all.begin(), all.end(), expected), all.end()) << path(expected).string();
    }
}

TEST_F(LinkedTree, ALinkLoopIsReportedButNotEnteredAgain) {
    const Events all = Walk(1);
    // "up" leads to the root, which its path already passes through: reported,
    // never entered. real -> side (other) -> back (real) stops at "back".
    for (const wchar_t* expected : {L"D real/up", L"D link/up", L"D real/side/back", L"D other/back",
                                    L"F other/back/a.txt"}) {
        EXPECT_NE(std::find(all.begin(), all.end(), expected), all.end()) << path(expected).string();
    }
    for (const std::wstring& event : all) {
        EXPECT_EQ(event.find(L"up/"), std::wstring::npos) << path(event).string();
        EXPECT_EQ(event.find(L"back/side/"), std::wstring::npos) << path(event).string();
    }
    // Each folder of the tree at most once on any one path.
    EXPECT_LT(all.size(), 40u);
}

#if !defined(_WIN32)
// Paths past PATH_MAX are opened piecewise, and no level holds a descriptor
// while the walk is below it.
TEST(CBrimFileFind, ReachesFilesPastThePathLimitWithFewDescriptors) {
    brimtest::TempDir dir;
    constexpr int kDepth = 2100;   // "/ddd" a level: about 8400 characters of path
    ASSERT_TRUE(fstest::MakeChain(dir.Path(), "top", "ddd", kDepth, {1, 1200, 2050}));
    struct Counter : CBrimFileFind {
        void vFoundFolder(const wchar_t*, const wchar_t*) override { ++folders; }
        void vFoundFile(const wchar_t* full, const wchar_t* name, const wchar_t*) override {
            files.push_back(name);
            longest = std::max(longest, std::wcslen(full));
        }
        int folders = 0;
        std::vector<std::wstring> files;
        std::size_t longest = 0;
    } finder;
    {
        fstest::DescriptorLimit limit(16);
        finder.FindFoldersFiles(fstest::Wide(dir.Path() / "top"), L"txt", 1, 0);
    }
    EXPECT_EQ(finder.folders, kDepth);
    std::sort(finder.files.begin(), finder.files.end());
    EXPECT_EQ(finder.files, (std::vector<std::wstring>{L"f1.txt", L"f1200.txt", L"f2050.txt", L"leaf.txt"}));
    EXPECT_GT(finder.longest, 8400u);
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(fstest::Wide(dir.Path() / "top")), 0);
}

TEST(CFileFind, AFolderLinkCarriesTheFolderAndLinkAttributes) {
    brimtest::TempDir dir;
    fstest::fs::create_directory(dir.Path() / "real");
    fstest::MakeFile(dir.Path() / "file");
    fstest::fs::create_directory_symlink(dir.Path() / "real", dir.Path() / "dlink");
    fstest::fs::create_symlink(dir.Path() / "file", dir.Path() / "flink");
    fstest::fs::create_symlink(dir.Path() / "absent", dir.Path() / "dangling");
    CFileFind find;
    ASSERT_TRUE(find.FindFile(fstest::Wide(dir.Path()) + L"/*"));
    Events seen;
    BOOL more;
    do {
        more = find.FindNextFile();
        if (find.IsDots()) continue;
        seen.push_back(std::wstring(find.IsDirectory() ? L"dir " : L"file ") +
                       (find.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT) ? L"link " : L"") + find.GetFileName().GetString());
    } while (more);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (Events{L"dir link dlink", L"dir real", L"file file", L"file link dangling", L"file link flink"}));
}
#endif

}  // namespace
