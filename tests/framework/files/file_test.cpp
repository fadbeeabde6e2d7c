// CFile: flags, sharing between openers in this process and in another, and the framework's cause numbers.
#include "tests/foundation/suite.h"

namespace {

using namespace brimtest;

constexpr UINT kReadShared = CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary;   // "8040" to a child
constexpr UINT kReadWriteExclusive = CFile::modeReadWrite;                                 // "2" to a child
constexpr UINT kAppendShared = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite | CFile::shareDenyNone;

// A missing drive is a path not found, never a folder named after it (Wine says 2 for "R:x.txt").
TEST(CFile, MissingFilesFoldersAndDrivesGiveTheirCauses) {
    TempDir dir;
    const struct {
        CStringW name;
        UINT flags;
        int cause;
        long os;
    } cases[] = {
        {dir.File(L"missing.txt"), kReadShared, CFileException::fileNotFound, 2},
        {dir.File(L"no-folder/missing.txt"), kReadShared, CFileException::badPath, 3},
        {L"", kReadShared, CFileException::fileNotFound, -1},
        {CStringW(dir.Path().wstring().c_str()), kReadShared, CFileException::accessDenied, -1},   // not a file
        {L"R:\\brim-absent\\x.txt", CFile::modeCreate | CFile::modeWrite, -1, 3},
        {L"R:x.txt", CFile::modeCreate | CFile::modeWrite, -1, -1},
    };
    for (const auto& c : cases) {
        CFile file;
        CFileException error;
        EXPECT_FALSE(file.Open(c.name, c.flags, &error)) << c.name.GetString();
        EXPECT_EQ(c.cause < 0 ? -1 : error.m_cause, c.cause) << c.name.GetString();   // -1: any
        EXPECT_EQ(c.os < 0 ? -1 : error.m_lOsError, c.os) << c.name.GetString();
    }
    EXPECT_FALSE(std::filesystem::exists("R:x.txt"));
    CFile file;
    EXPECT_FALSE(file.Open(nullptr, kReadShared));   // no exception object: just false
}

// Each opener appends (no truncation without being told); a create truncates.
TEST(CFile, AppendAtEndReadBackAndTruncate) {
    TempDir dir;
    const CStringW name = dir.File(L"log.txt");
    for (const char* piece : {"one,", "two,", "three"}) {
        CFile file;
        ASSERT_TRUE(file.Open(name, kAppendShared));
        file.SeekToEnd();
        file.Write(piece, static_cast<UINT>(std::strlen(piece)));
    }
    CFile file(name, kReadShared);
    char buffer[64] = {};
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 13u);   // a short read at the end is not a failure
    EXPECT_STREQ(buffer, "one,two,three");
    EXPECT_EQ(file.Seek(-5, CFile::end), 8u);
    EXPECT_EQ(file.Read(buffer, 2), 2u);
    EXPECT_EQ(file.GetPosition(), 10u);
    file.Close();
    CFile trunc(name, CFile::modeCreate | CFile::modeWrite);
    EXPECT_EQ(trunc.GetLength(), 0u);
    trunc.SetLength(3);
    trunc.Flush();
    EXPECT_EQ(trunc.SeekToEnd(), 3u);
    EXPECT_EQ(trunc.GetFileName(), L"log.txt");
}

// The cause, system code and file name of the CFileException a call throws; -1 for none.
struct Caught {
    int cause = -1;
    long os = -1;
    CStringW name;
};
template <typename Call>
Caught Failure(Call call) {
    Caught caught;
    try {
        call();
    } catch (CFileException* e) {
        caught = {e->m_cause, e->m_lOsError, e->m_strFileName};
        e->Delete();
    }
    return caught;
}

TEST(CFile, FailuresThrowFileExceptions) {
    TempDir dir;
    WriteBytes(dir.Path() / "ro.txt", "data");
    WriteBytes(dir.Path() / "a.txt", "a");
    WriteBytes(dir.Path() / "b.txt", "b");
    CFile reader(dir.File(L"ro.txt"), kReadShared);
    EXPECT_EQ(Failure([&] { reader.Write("x", 1); }).cause, CFileException::accessDenied);
    EXPECT_EQ(Failure([&] { reader.Seek(-10, CFile::begin); }).cause, CFileException::badSeek);
    const Caught missing = Failure([&] { CFile(dir.File(L"none.txt"), kReadShared); });   // the constructor throws
    EXPECT_EQ(missing.cause, CFileException::fileNotFound);
    EXPECT_EQ(missing.name, dir.File(L"none.txt"));
    // Renaming onto an existing file fails and leaves it (one open without delete sharing gives 32 on Windows).
    EXPECT_EQ(Failure([&] { CFile::Rename(dir.File(L"a.txt"), dir.File(L"b.txt")); }).os, 183);
    EXPECT_EQ(ReadBytes(dir.Path() / "b.txt"), "b");
    CFile::Rename(dir.File(L"a.txt"), dir.File(L"c.txt"));
    CFile::Remove(dir.File(L"c.txt"));
    EXPECT_EQ(Failure([&] { CFile::Remove(dir.File(L"c.txt")); }).cause, CFileException::fileNotFound);
    // The framework's cause for each family of Windows codes, one code of each.
    using E = CFileException;
    const std::pair<LONG, int> cases[] = {
        {0, E::none},          {18, E::fileNotFound},      {123, E::badPath},        {4, E::tooManyOpenFiles},
        {183, E::accessDenied}, {193, E::invalidFile},      {16, E::removeCurrentDir}, {62, E::directoryFull},
        {131, E::badSeek},     {23, E::hardIO},            {32, E::sharingViolation}, {33, E::lockViolation},
        {112, E::diskFull},    {38, E::endOfFile},         {9999, E::genericException}};
    for (const auto& [code, cause] : cases) EXPECT_EQ(CFileException::OsErrorToException(code), cause) << code;
}

// A second opener in this process against the first one's sharing; a refused create truncates nothing.
TEST(CFile, ASecondOpenerInThisProcessMeetsTheFirstOnesSharing) {
    TempDir dir;
    const CStringW name = dir.File(L"x.txt");
    WriteBytes(dir.Path() / "x.txt", "abc");
    constexpr UINT kDenyWriteReader = CFile::modeRead | CFile::shareDenyWrite;
    const struct {
        UINT first, second;
        bool opens;
    } cases[] = {
        {kReadWriteExclusive, kReadShared, false},
        {kReadWriteExclusive, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone, false},
        {kReadShared, kReadWriteExclusive, false},
        {kReadShared, kAppendShared, true},
        {kDenyWriteReader, kDenyWriteReader, true},
        {kDenyWriteReader, CFile::modeWrite | CFile::shareDenyNone, false},
    };
    for (const auto& c : cases) {
        CFile first(name, c.first), second;   // the destructors close every handle for the next case
        CFileException error;
        EXPECT_EQ(second.Open(name, c.second, &error) != FALSE, c.opens) << std::hex << c.first << " " << c.second;
        if (!c.opens) {
            EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
            EXPECT_EQ(error.m_lOsError, 32);
        }
    }
    EXPECT_EQ(ReadBytes(dir.Path() / "x.txt"), "abc");
}

TEST(CFile, ExclusiveOpenMeetsAnotherProcess) {
    TempDir dir;
    const CStringW name = dir.File(L"p.txt");
    WriteBytes(dir.Path() / "p.txt", "abc");
    const std::string path = (dir.Path() / "p.txt").string();
    auto child = ChildProcess::Start({"open-file", path, "2"});
    ASSERT_EQ(child->ReadLine(), "open");
    CFile mine;
    CFileException error;
    EXPECT_FALSE(mine.Open(name, kReadShared, &error));
    EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
    child->WriteLine("close");
    EXPECT_EQ(child->Wait(), 0);
    EXPECT_TRUE(mine.Open(name, kReadWriteExclusive));
}

#if !defined(_WIN32)
// A backslash in a POSIX name reaches the host as U+F05C and leads back to that entry, never to "a/b".
TEST(CFileFind, ANameWithABackslashLeadsBackToItself) {
    TempDir dir;
    WriteBytes(dir.Path() / "a\\b", "one name");
    std::filesystem::create_directory(dir.Path() / "a");
    WriteBytes(dir.Path() / "a" / "b", "folder a, file b");
    CFileFind find;
    ASSERT_TRUE(find.FindFile(CStringW(dir.Path().wstring().c_str()) + L"/a?b"));
    find.FindNextFile();
    EXPECT_EQ(find.GetFileName(), CStringW(L"a\xF05C" L"b"));
    CFile file;
    ASSERT_TRUE(file.Open(find.GetFilePath(), kReadShared));
    char bytes[32] = {};
    file.Read(bytes, sizeof bytes);
    EXPECT_STREQ(bytes, "one name");
    file.Close();
    CFile::Remove(find.GetFilePath());   // throws if it fails
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "a\\b"));
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "a" / "b"));
}

// A name that is not UTF-8 reaches the host with U+DC80..U+DCFF for its bad bytes and leads back to itself:
// never to the entry whose name is U+FFFD, which a lossy decoding would make of it.
TEST(CFileFind, ANameThatIsNotUtf8LeadsBackToItself) {
    TempDir dir;
    WriteBytes(dir.Path() / "t\xFF\xC3", "bad bytes");
    WriteBytes(dir.Path() / "t\xEF\xBF\xBD", "U+FFFD");
    std::map<CStringW, std::string> found;
    CFileFind find;
    for (BOOL more = find.FindFile(CStringW(dir.Path().wstring().c_str()) + L"/t*"); more;) {
        more = find.FindNextFile();
        CFile file;
        ASSERT_TRUE(file.Open(find.GetFilePath(), kReadShared));
        char bytes[32] = {};
        file.Read(bytes, sizeof bytes);
        found[find.GetFileName()] = bytes;
    }
    EXPECT_EQ(found, (std::map<CStringW, std::string>{{L"t\xDCFF\xDCC3", "bad bytes"}, {L"t\xFFFD", "U+FFFD"}}));
    CFile::Rename(CStringW(dir.Path().wstring().c_str()) + L"/t\xDCFF\xDCC3", CStringW(dir.Path().wstring().c_str()) + L"/u\xDCFF");
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "u\xFF"));
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "t\xEF\xBF\xBD"));
}
#endif

}  // namespace
