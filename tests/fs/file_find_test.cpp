// CBrimFileFind: recursion and hidden switches, the extension filter, the
// hook arguments, links, missing folders and hooks that throw; CFileFind.
#include <brim/brim.h>

#include "tests/fs/fs_test_util.h"
#include "tests/support/printers.h"
#include "tests/support/thrown.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#if !defined(_WIN32)
#  include <dirent.h>
#endif

namespace {

using fstest::fs::path;
using Events = std::vector<std::wstring>;

// Records "D rel" for folders and "F rel:title" for files, rel relative to
// the root with '/' separators, and checks the arguments of every call.
class Recorder : public CBrimFileFind {
public:
    explicit Recorder(const path& root) : m_root(root.wstring() + fstest::kSeparator) {}

    void vFoundFolder(const wchar_t* full, const wchar_t* name) override { events.push_back(L"D " + Relative(full, name)); }
    void vFoundFile(const wchar_t* full, const wchar_t* name, const wchar_t* title) override {
        events.push_back(L"F " + Relative(full, name));
        titles.push_back(title);
    }
    Events Sorted() const {
        Events s = events;
        std::sort(s.begin(), s.end());
        return s;
    }
    const CStringW& Extensions() const { return m_strExt; }

    Events events, titles;

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

Events Walk(const path& root, const wchar_t* ext, int recursive, int hidden, Recorder* keep = nullptr) {
    Recorder local(root);
    Recorder& finder = keep != nullptr ? *keep : local;
    finder.FindFoldersFiles(fstest::Wide(root), ext, recursive, hidden);
    return finder.Sorted();
}

bool Has(const Events& all, const std::wstring& event) { return std::find(all.begin(), all.end(), event) != all.end(); }

TEST(CBrimFileFind, RecursionHiddenAndEmptyListSwitches) {
    brimtest::TempDir dir;
    const path& r = dir.Path();
    for (const char* name : {"a.txt", "b.log", "sub/c.txt", "sub/deeper/d.txt", ".hid/e.txt", ".f.txt"}) fstest::MakeFile(r / name);
    fstest::MarkHidden(r / ".hid");
    fstest::MarkHidden(r / ".f.txt");
    const Events top = {L"D sub", L"F a.txt"};
    const Events deep = {L"D sub", L"D sub/deeper", L"F a.txt", L"F sub/c.txt", L"F sub/deeper/d.txt"};
    const struct {
        const wchar_t* ext;
        int recursive, hidden;
        Events expected;
    } cases[] = {
        {L"txt", 1, 0, deep},
        {L"txt", 0, 0, top},   // subfolders are reported but not entered unless the switch is 1
        {L"txt", 2, 0, top},
        {L"txt", -1, 0, top},
        {L"txt", 1, 1, {L"D .hid", L"D sub", L"D sub/deeper", L"F .f.txt", L"F .hid/e.txt", L"F a.txt", L"F sub/c.txt",
                        L"F sub/deeper/d.txt"}},
        {L"", 1, 0, {L"D sub", L"D sub/deeper"}},
        {nullptr, 0, 0, {L"D sub"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.recursive << " " << c.hidden);
        EXPECT_EQ(Walk(r, c.ext, c.recursive, c.hidden), c.expected);
    }

    // Depth first: each folder comes right before a contiguous run of what lies below it.
    Recorder finder(r);
    Walk(r, L"txt,log", 1, 1, &finder);
    const Events& e = finder.events;
    ASSERT_EQ(e.size(), 9u);
    for (const std::wstring folder : {L"sub", L"sub/deeper", L".hid"}) {
        const auto at = std::find(e.begin(), e.end(), L"D " + folder);
        ASSERT_NE(at, e.end());
        const std::wstring prefix = folder + L"/";
        auto inside = [&](const std::wstring& ev) { return ev.compare(2, prefix.size(), prefix) == 0; };
        const auto count = std::count_if(e.begin(), e.end(), inside);
        EXPECT_EQ(std::count_if(at + 1, at + 1 + count, inside), count) << "subtree of " << path(folder).string();
    }
}

TEST(CBrimFileFind, ExtensionFilterIsAPlainSuffixTest) {
    brimtest::TempDir dir;
    for (const char* name : {"a.txt", "a.log", "notatxt", "readme", "b.TXT", "a.tar.gz"}) fstest::MakeFile(dir.Path() / name);
    const struct {
        const wchar_t* list;
        Events files;
    } cases[] = {
        {L",,txt,", {L"F a.txt", L"F notatxt"}},
        {L"txt, log", {L"F a.txt", L"F notatxt"}},   // " log" keeps its blank
        {L".txt", {L"F a.txt"}},
        {L"readme", {L"F readme"}},
        {L"*", {}},
        {L"log,TXT", {L"F a.log", L"F b.TXT"}},
        {L"a.txt.longer.than.any.name", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(path(c.list).string());
        Recorder finder(dir.Path());
        EXPECT_EQ(Walk(dir.Path(), c.list, 0, 0, &finder), c.files);
        EXPECT_EQ(finder.Extensions(), CStringW(c.list));   // kept after the call
    }
    Recorder finder(dir.Path());
    EXPECT_EQ(Walk(dir.Path(), L"gz", 0, 0, &finder), Events{L"F a.tar.gz"});
    EXPECT_EQ(finder.titles, Events{L"a.tar"});
    // A missing folder calls no hook.
    EXPECT_EQ(Walk(dir.Path() / "absent", L"txt", 1, 1), Events{});
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
    EXPECT_EQ(brimtest::Thrown([&] { finder.FindFoldersFiles(fstest::Wide(dir.Path()), L"txt", 1, 0); }),
              L"BrimException : stop");
    EXPECT_EQ(finder.folders, 3);
    EXPECT_EQ(finder.files, 1);
#if !defined(_WIN32)
    EXPECT_EQ(OpenDescriptors(), before);   // every level's enumeration was closed
#endif
    EXPECT_NE(CBrimFileOperation::DeleteDirectory(fstest::Wide(dir.Path() / "l1")), 0);   // nothing holds them
}

// Folder links are folders to the walk, as on Windows, and a link that leads
// back up its own path ends the descent there.
TEST(CBrimFileFind, FolderLinksAreEnteredAndLoopsAreNot) {
    brimtest::TempDir dir;
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

    EXPECT_EQ(Walk(r, L"txt", 0, 0), (Events{L"D link", L"D other", L"D real", L"F flink.txt"}));
    const Events all = Walk(r, L"txt", 1, 0);
    // "up" and "back" are reported, never entered.
    for (const wchar_t* expected : {L"D link", L"F link/a.txt", L"D link/inner", L"F link/inner/b.txt", L"F flink.txt",
                                    L"D real/side", L"F real/side/c.txt", L"D link/side", L"D real/up", L"D link/up",
                                    L"D real/side/back", L"D other/back", L"F other/back/a.txt"}) {
        EXPECT_TRUE(Has(all, expected)) << path(expected).string();
    }
    for (const std::wstring& event : all) {
        EXPECT_EQ(event.find(L"up/"), std::wstring::npos) << path(event).string();
        EXPECT_EQ(event.find(L"back/side/"), std::wstring::npos) << path(event).string();
    }
    EXPECT_LT(all.size(), 40u);   // each folder at most once on any one path
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

// ---------------------------------------------------------------------------
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

TEST(CFileFind, WildcardsDotsAndFailures) {
    brimtest::TempDir dir;
    for (const char* name : {"a.txt", "b.txt", "ab.log", "noext"}) fstest::MakeFile(dir.Path() / name);
    fstest::fs::create_directory(dir.Path() / "two");
    const CStringW root = fstest::Wide(dir.Path()) + CStringW(fstest::kSeparator);
    EXPECT_EQ(Listed(root + L"*.*"), (Events{L"dir two", L"dots .", L"dots ..", L"file a.txt", L"file ab.log",
                                             L"file b.txt", L"file noext"}));
    EXPECT_EQ(Listed(root + L"*.txt"), (Events{L"file a.txt", L"file b.txt"}));
    EXPECT_EQ(Listed(root + L"a*"), (Events{L"file a.txt", L"file ab.log"}));
    EXPECT_EQ(Listed(root + L"?.txt"), (Events{L"file a.txt", L"file b.txt"}));
    CFileFind find;
    ASSERT_TRUE(find.FindFile(root + L"*"));
    EXPECT_EQ(find.GetRoot(), fstest::Wide(dir.Path()));

    EXPECT_FALSE(find.FindFile(root + L"*.none"));
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_FALSE(find.FindFile(root + L"absent" + CStringW(fstest::kSeparator) + L"*.*"));
    EXPECT_EQ(GetLastError(), 3u);
    EXPECT_FALSE(find.FindNextFile());
}

#if !defined(_WIN32)
TEST(CFileFind, AFolderLinkCarriesTheFolderAndLinkAttributes) {
    brimtest::TempDir dir;
    fstest::fs::create_directory(dir.Path() / "real");
    fstest::MakeFile(dir.Path() / "file");
    fstest::fs::create_directory_symlink(dir.Path() / "real", dir.Path() / "dlink");
    fstest::fs::create_symlink(dir.Path() / "file", dir.Path() / "flink");
    fstest::fs::create_symlink(dir.Path() / "absent", dir.Path() / "dangling");
    EXPECT_EQ(Listed(fstest::Wide(dir.Path()) + L"/*", true),
              (Events{L"dir link dlink", L"dir real", L"dots .", L"dots ..", L"file file", L"file link dangling",
                      L"file link flink"}));
}
#endif

}  // namespace
