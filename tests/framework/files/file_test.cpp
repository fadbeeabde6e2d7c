// CFile: flags, sharing between openers (in this process and in another),
// and the framework's cause numbers.
#include <brim/brim.h>

#include "tests/support/printers.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

using brimtest::ReadBytes;
using brimtest::TempDir;
using brimtest::WriteBytes;

constexpr UINT kReadShared = CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary;   // 0x8040
constexpr UINT kReadWriteExclusive = CFile::modeReadWrite;                                 // 0x0002
constexpr UINT kAppendShared = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite | CFile::shareDenyNone;   // 0x3042

std::string Hex(UINT flags) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", flags);
    return buf;
}

TEST(CFile, MissingFilesAndFoldersGiveTheirCauses) {
    TempDir dir;
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(dir.File(L"missing.txt"), kReadShared, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_lOsError, 2);
    EXPECT_FALSE(file.Open(dir.File(L"no-folder/missing.txt"), kReadShared, &error));
    EXPECT_EQ(error.m_cause, CFileException::badPath);
    EXPECT_EQ(error.m_lOsError, 3);
    EXPECT_FALSE(file.Open(L"", kReadShared, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_FALSE(file.Open(nullptr, kReadShared));   // no exception object: just false
    EXPECT_FALSE(file.Open(CStringW(dir.Path().wstring().c_str()), kReadShared, &error));
    EXPECT_EQ(error.m_cause, CFileException::accessDenied);   // a folder is not a file
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
    file.SeekToBegin();
    EXPECT_EQ(file.GetPosition(), 0u);
    file.Close();
    CFile trunc(name, CFile::modeCreate | CFile::modeWrite);
    EXPECT_EQ(trunc.GetLength(), 0u);
}

// The cause and system code of the CFileException a call throws; -1 for none.
struct Caught {
    int cause = -1;
    long os = -1;
};
template <typename Call>
Caught Failure(Call call) {
    Caught caught;
    try {
        call();
    } catch (CFileException* e) {
        caught = {e->m_cause, e->m_lOsError};
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
    try {
        CFile missing(dir.File(L"none.txt"), kReadShared);
        ADD_FAILURE() << "the constructor must throw";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::fileNotFound);
        EXPECT_EQ(e->m_strFileName, dir.File(L"none.txt"));
        e->Delete();
    }
    // Renaming onto an existing file fails and leaves it (a file open
    // without delete sharing, as ro.txt is here, gives 32 on Windows instead).
    EXPECT_EQ(Failure([&] { CFile::Rename(dir.File(L"a.txt"), dir.File(L"b.txt")); }).os, 183);
    EXPECT_EQ(ReadBytes(dir.Path() / "b.txt"), "b");
    CFile::Rename(dir.File(L"a.txt"), dir.File(L"c.txt"));
    CFile::Remove(dir.File(L"c.txt"));
    EXPECT_EQ(Failure([&] { CFile::Remove(dir.File(L"c.txt")); }).cause, CFileException::fileNotFound);
}

TEST(CFile, ExclusiveOpenMeetsAnotherOpenerInThisProcess) {
    TempDir dir;
    const CStringW name = dir.File(L"x.txt");
    WriteBytes(dir.Path() / "x.txt", "abc");
    CFileException error;
    {
        CFile first(name, kReadWriteExclusive);
        CFile second;
        EXPECT_FALSE(second.Open(name, kReadShared, &error));
        EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
        EXPECT_EQ(error.m_lOsError, 32);
        // A refused create must not truncate the held file.
        EXPECT_FALSE(second.Open(name, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone, &error));
    }
    EXPECT_EQ(ReadBytes(dir.Path() / "x.txt"), "abc");
    {
        CFile shared(name, kReadShared);
        CFile exclusive;
        EXPECT_FALSE(exclusive.Open(name, kReadWriteExclusive, &error));   // a reader is there
        CFile anotherReader;
        EXPECT_TRUE(anotherReader.Open(name, kAppendShared));               // sharing readers and writers
    }
    CFile afterClose;
    EXPECT_TRUE(afterClose.Open(name, kReadWriteExclusive));   // the destructors closed every handle
    afterClose.Close();
    CFile holder(name, CFile::modeRead | CFile::shareDenyWrite);   // lets readers in, not writers
    CFile reader, writer;
    EXPECT_TRUE(reader.Open(name, CFile::modeRead | CFile::shareDenyWrite));
    EXPECT_FALSE(writer.Open(name, CFile::modeWrite | CFile::shareDenyNone));
}

TEST(CFile, ExclusiveOpenMeetsAnotherProcess) {
    TempDir dir;
    const CStringW name = dir.File(L"p.txt");
    WriteBytes(dir.Path() / "p.txt", "abc");
    const std::string path = (dir.Path() / "p.txt").string();
    auto child = brimtest::ChildProcess::Start({"open-file", path, Hex(kReadWriteExclusive)});
    ASSERT_EQ(child->ReadLine(), "open");
    CFile mine;
    CFileException error;
    EXPECT_FALSE(mine.Open(name, kReadShared, &error));
    EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
    child->WriteLine("close");
    EXPECT_EQ(child->Wait(), 0);
    EXPECT_TRUE(mine.Open(name, kReadWriteExclusive));
    // And the other way round: this process holds it, the child is refused.
    auto second = brimtest::ChildProcess::Start({"open-file", path, Hex(kReadShared)});
    EXPECT_EQ(second->ReadLine(), "fail 11");
    EXPECT_EQ(second->Wait(), 0);
}

// A Windows host's backslash paths name the same files on every platform; a
// drive letter where there are no drives is a path that is not found, never
// a folder named after it.
TEST(CFile, BackslashesSeparateFoldersAndAMissingDriveIsNotFound) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / "sub");
    WriteBytes(dir.Path() / "sub" / "in.txt", "inside");
    const CStringW base(dir.Path().wstring().c_str());
    CFile file;
    CFileException error;
    ASSERT_TRUE(file.Open(base + L"\\sub\\in.txt", kReadShared, &error));
    char bytes[16] = {};
    EXPECT_EQ(file.Read(bytes, sizeof bytes), 6u);
    EXPECT_STREQ(bytes, "inside");
    file.Close();
    ASSERT_TRUE(file.Open(base + L"\\sub\\new.txt", CFile::modeCreate | CFile::modeWrite, &error));
    file.Close();
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "sub" / "new.txt"));

    EXPECT_FALSE(file.Open(L"R:\\brim-absent\\x.txt", CFile::modeCreate | CFile::modeWrite, &error));
    EXPECT_EQ(error.m_lOsError, 3);
    EXPECT_FALSE(file.Open(L"R:x.txt", CFile::modeCreate | CFile::modeWrite, &error));   // Wine says 2 here
    EXPECT_FALSE(std::filesystem::exists("R:x.txt"));
}

#if !defined(_WIN32)
// A POSIX name may hold a backslash, which a Windows name cannot: it reaches
// the host as U+F05C and leads back to that same entry, never to "a/b".
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
#endif

}  // namespace
