// CBrimFileFind: the switches, the extension filter, hook arguments, links, deep trees, throwing hooks; CFileFind.
#include "tests/fs/fs_test_util.h"

#include <iterator>

namespace {

using namespace brimtest;
using fstest::fs::path;
using Events = std::vector<std::wstring>;

// Records "D rel" for folders and "F rel" for files (rel below the root, '/' separators), checking the arguments.
class Recorder : public CBrimFileFind {
public:
    explicit Recorder(const path& root) : m_root((root / "").wstring()) {}

    void vFoundFolder(const wchar_t* full, const wchar_t* name) override { events.push_back(L"D " + Relative(full, name)); }
    void vFoundFile(const wchar_t* full, const wchar_t* name, const wchar_t* title) override {
        events.push_back(L"F " + Relative(full, name));
        titles.push_back(title);
    }

    Events events, titles;

private:
    std::wstring Relative(const std::wstring& full, const std::wstring& name) {
        EXPECT_EQ(full.compare(0, m_root.size(), m_root), 0) << "not below the root: " << path(full).string();
        EXPECT_EQ(full.substr(full.size() - std::min(full.size(), name.size())), name);   // the path ends in the name
        std::wstring rel = full.substr(std::min(m_root.size(), full.size()));
        std::replace(rel.begin(), rel.end(), L'\\', L'/');
        return rel;
    }
    std::wstring m_root;
};

Events Walk(const path& root, const wchar_t* ext, int recursive, int hidden) {
    Recorder finder(root);
    finder.FindFoldersFiles(fstest::Wide(root), ext, recursive, hidden);
    std::sort(finder.events.begin(), finder.events.end());
    return finder.events;
}

TEST(CBrimFileFind, RecursionHiddenAndEmptyListSwitches) {
    TempDir dir;
    const path& r = dir.Path();
    for (const char* name : {"a.txt", "b.log", "sub/c.txt", "sub/deeper/d.txt", ".hid/e.txt", ".f.txt"}) fstest::MakeFile(r / name);
#if defined(_WIN32)   // a leading dot hides a name on POSIX only
    for (const wchar_t* name : {L".hid", L".f.txt"}) SetFileAttributesW((r / name).c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
    const struct {
        const wchar_t* ext;
        int recursive, hidden;
        Events expected;
    } cases[] = {
        {L"txt", 1, 0, {L"D sub", L"D sub/deeper", L"F a.txt", L"F sub/c.txt", L"F sub/deeper/d.txt"}},
        {L"txt", 0, 0, {L"D sub", L"F a.txt"}},   // subfolders are reported but not entered unless the switch is 1
        {L"txt", 1, 1, {L"D .hid", L"D sub", L"D sub/deeper", L"F .f.txt", L"F .hid/e.txt", L"F a.txt", L"F sub/c.txt",
                        L"F sub/deeper/d.txt"}},
        {nullptr, 0, 0, {L"D sub"}},
    };
    EXPECT_EQ(Walk(r / "absent", L"txt", 1, 1), Events{});   // a missing folder calls no hook
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.recursive << " " << c.hidden);
        EXPECT_EQ(Walk(r, c.ext, c.recursive, c.hidden), c.expected);
    }
}

// Names in other scripts reach the hooks whole, in their folder's path (names
// are read as ASCII apart from the rest).
TEST(CBrimFileFind, NamesOutsideAsciiArriveWhole) {
    TempDir dir;
    const path& r = dir.Path();
    fstest::MakeFile(r / path(u8"\uD55C\uAE00") / path(u8"\uAE00\uC790.txt"));
    fstest::MakeFile(r / path(u8"caf\u00E9.txt"));
    fstest::MakeFile(r / "plain.txt");
    EXPECT_EQ(Walk(r, L"txt", 1, 0), (Events{L"D \uD55C\uAE00", L"F caf\u00E9.txt", L"F plain.txt",
                                              L"F \uD55C\uAE00/\uAE00\uC790.txt"}));
}

#if !defined(_WIN32)
// A folder whose name is not UTF-8 is entered like any other: its bad bytes reach the hooks as U+DC80..U+DCFF.
TEST(CBrimFileFind, FoldersWhoseNamesAreNotUtf8AreEntered) {
    TempDir dir;
    const path& r = dir.Path();
    fstest::MakeFile(r / "\xFE" / "inner.txt");
    fstest::MakeFile(r / "\xC3" / "\xED\xA0\x80.txt");
    EXPECT_EQ(Walk(r, L"txt", 1, 0), (Events{L"D \xDCC3", L"D \xDCFE", L"F \xDCC3/\xDCED\xDCA0\xDC80.txt", L"F \xDCFE/inner.txt"}));
}
#endif

TEST(CBrimFileFind, ExtensionFilterIsAPlainSuffixTest) {
    TempDir dir;
    for (const char* name : {"a.txt", "a.log", "notatxt", "readme", "b.TXT", "a.tar.gz"}) fstest::MakeFile(dir.Path() / name);
    const struct {
        const wchar_t* list;
        Events files;
    } cases[] = {
        {L",,txt,", {L"F a.txt", L"F notatxt"}},
        {L"readme", {L"F readme"}},
        {L"log,TXT", {L"F a.log", L"F b.TXT"}},
        {L"a.txt.longer.than.any.name", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Walk(dir.Path(), c.list, 0, 0), c.files) << path(c.list).string();
    Recorder finder(dir.Path());
    finder.FindFoldersFiles(fstest::Wide(dir.Path()), L"gz", 0, 0);
    EXPECT_EQ(finder.events, Events{L"F a.tar.gz"});
    EXPECT_EQ(finder.titles, Events{L"a.tar"});
}

[[maybe_unused]] long OpenDescriptors() {
    return std::distance(fstest::fs::directory_iterator("/proc/self/fd"), fstest::fs::directory_iterator());
}

TEST(CBrimFileFind, HookExceptionEndsTheWalkAndReachesTheCaller) {
    TempDir dir;
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
    const long before = OpenDescriptors();
#endif
    EXPECT_EQ(Thrown([&] { finder.FindFoldersFiles(fstest::Wide(dir.Path()), L"txt", 1, 0); }),
              L"BrimException : stop");
    EXPECT_EQ(finder.folders, 3);
    EXPECT_EQ(finder.files, 1);
#if !defined(_WIN32)
    EXPECT_EQ(OpenDescriptors(), before);   // every level's enumeration was closed
#endif
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(fstest::Wide(dir.Path() / "l1")), 0);   // nothing holds them
}

// The sorted entries a CFileFind search reports: "kind name", dots included.
Events Listed(const CStringW& pattern, bool links = false) {
    Events found;
    CFileFind find;
    BOOL more = find.FindFile(pattern);
    while (more) {
        more = find.FindNextFile();
        std::wstring kind = find.IsDots() ? L"dots " : find.IsDirectory() ? L"dir " : L"file ";
        if (links && find.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT)) kind += L"link ";
        found.push_back(kind + find.GetFileName().GetString());
    }
    EXPECT_FALSE(find.FindNextFile());   // stays at the end
    std::sort(found.begin(), found.end());
    return found;
}

// Folder links are folders to the walk and to CFileFind, as on Windows; a link back up its own path is not entered.
TEST(CBrimFileFind, FolderLinksAreEnteredAndLoopsAreNot) {
    TempDir dir;
    const path& r = dir.Path();
    fstest::MakeFile(r / "real" / "a.txt");
    fstest::MakeFile(r / "real" / "inner" / "b.txt");
    fstest::MakeFile(r / "other" / "c.txt");
    std::error_code ec;
    fstest::fs::create_directory_symlink(r / "real", r / "link", ec);
    // Wine 8 does not implement CreateSymbolicLinkW: there the Windows side goes untested.
    if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
    fstest::fs::create_symlink(r / "other" / "c.txt", r / "flink.txt");
    fstest::fs::create_symlink(r / "absent", r / "dangling");
    fstest::fs::create_directory_symlink(r, r / "real" / "up");               // back to the root
    fstest::fs::create_directory_symlink(r / "other", r / "real" / "side");   // sideways, once
    fstest::fs::create_directory_symlink(r / "real", r / "other" / "back");   // real -> other -> real

    EXPECT_EQ(Walk(r, L"txt", 0, 0), (Events{L"D link", L"D other", L"D real", L"F flink.txt"}));
    EXPECT_EQ(Listed(fstest::Wide(r / "*"), true),
              (Events{L"dir link link", L"dir other", L"dir real", L"dots .", L"dots ..", L"file link dangling",
                      L"file link flink.txt"}));
    const Events all = Walk(r, L"txt", 1, 0);
    // "up" and "back" are reported, never entered.
    for (const wchar_t* expected : {L"D link", L"F link/a.txt", L"D link/inner", L"F link/inner/b.txt", L"F flink.txt",
                                    L"D real/side", L"F real/side/c.txt", L"D link/side", L"D real/up", L"D link/up",
                                    L"D real/side/back", L"D other/back", L"F other/back/a.txt"}) {
        EXPECT_NE(std::find(all.begin(), all.end(), expected), all.end()) << path(expected).string();
    }
    for (const std::wstring& event : all) {
        EXPECT_EQ(event.find(L"up/"), std::wstring::npos) << path(event).string();
        EXPECT_EQ(event.find(L"back/side/"), std::wstring::npos) << path(event).string();
    }
    EXPECT_LT(all.size(), 40u);   // each folder at most once on any one path
}

#if !defined(_WIN32)
// Paths past PATH_MAX are opened piecewise, and no level holds a descriptor while the walk is below it.
TEST(CBrimFileFind, ReachesFilesPastThePathLimitWithFewDescriptors) {
    TempDir dir;
    constexpr int kDepth = 2100;   // "/ddd" a level: about 8400 characters of path
    ASSERT_TRUE(fstest::MakeChain(dir.Path(), "top", "ddd", kDepth, {1, 1200, 2050}));
    struct Counter : CBrimFileFind {
        void vFoundFolder(const wchar_t*, const wchar_t*) override { ++folders; }
        void vFoundFile(const wchar_t* full, const wchar_t* name, const wchar_t*) override {
            files.push_back(name);
            longest = std::max(longest, std::wcslen(full));
        }
        int folders = 0;
        Events files;
        std::size_t longest = 0;
    } finder;
    {
        fstest::DescriptorLimit limit(16);
        finder.FindFoldersFiles(fstest::Wide(dir.Path() / "top"), L"txt", 1, 0);
    }
    EXPECT_EQ(finder.folders, kDepth);
    std::sort(finder.files.begin(), finder.files.end());
    EXPECT_EQ(finder.files, (Events{L"f1.txt", L"f1200.txt", L"f2050.txt", L"leaf.txt"}));
    EXPECT_GT(finder.longest, 8400u);
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(fstest::Wide(dir.Path() / "top")), 0);
}
#endif

TEST(CFileFind, WildcardsDotsAndFailures) {
    TempDir dir;
    for (const char* name : {"a.txt", "b.txt", "ab.log", "noext"}) fstest::MakeFile(dir.Path() / name);
    fstest::fs::create_directory(dir.Path() / "two");
    const CStringW root = fstest::Wide(dir.Path() / "");
    EXPECT_EQ(Listed(root + L"*.*"), (Events{L"dir two", L"dots .", L"dots ..", L"file a.txt", L"file ab.log",
                                             L"file b.txt", L"file noext"}));
    EXPECT_EQ(Listed(root + L"?.txt"), (Events{L"file a.txt", L"file b.txt"}));
    CFileFind find;
    ASSERT_TRUE(find.FindFile(root + L"*"));
    EXPECT_EQ(find.GetRoot(), fstest::Wide(dir.Path()));

    EXPECT_FALSE(find.FindFile(root + L"*.none"));
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_FALSE(find.FindFile(fstest::Wide(dir.Path() / "absent" / "*.*")));
    EXPECT_EQ(GetLastError(), 3u);
    EXPECT_FALSE(find.FindNextFile());
}

}  // namespace
