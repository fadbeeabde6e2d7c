// CBrimFile's reader and writers on real files: decoding by the detected
// encoding, the marks, the open sequence against other openers (in other
// processes), file-layer failures turned into exceptions, long records, and
// folder creation.
#include <brim/brim.h>

#include "tests/support/printers.h"
#include "tests/text/text_helpers.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using brimtest::CodeText;
using brimtest::Smiley;
using brimtest::Thrown;

using brimtest::ReadBytes;
using brimtest::TempDir;
using brimtest::WriteBytes;

CStringW ReadFile(const TempDir& dir, const std::string& bytes) {
    WriteBytes(dir.Path() / "in.txt", bytes);
    CBrimFile file;
    file.SetFilename(dir.File(L"in.txt"));
    return file.ReadTextFile();
}

const CStringW kBom(L"\xFEFF");

TEST(CBrimFileRead, NamesThatCannotBeOpenedGiveEmptyText) {
    TempDir dir;
    CBrimFile file;
    EXPECT_EQ(file.GetFilename(), L"");
    EXPECT_EQ(file.ReadTextFile(), L"");   // no name at all
    file.SetFilename(dir.File(L"missing.txt"));
    EXPECT_EQ(file.ReadTextFile(), L"");
    file.SetFilename(CStringW(dir.Path().wstring().c_str()));   // a folder
    EXPECT_EQ(file.ReadTextFile(), L"");
    EXPECT_EQ(ReadFile(dir, ""), L"");   // an empty file is ASCII, and empty
}

TEST(CBrimFileRead, EachDecodedEncoding) {
    TempDir dir;
    EXPECT_EQ(ReadFile(dir, "\xEF\xBB\xBF" "A"), kBom + L"A");                       // the mark stays
    EXPECT_EQ(ReadFile(dir, std::string("\xFF\xFE" "A\0", 4)), kBom + L"A");
    EXPECT_EQ(ReadFile(dir, "\xED\x95\x9C\xEA\xB8\x80 ok"), L"\xD55C\xAE00 ok");     // UTF-8 without a mark
    EXPECT_EQ(ReadFile(dir, "plain 7-bit\r\n"), L"plain 7-bit\r\n");
    // UTF-16 LE: pairs, an odd last byte, and FF FE 00 00 (UTF-16, not UTF-32).
    EXPECT_EQ(ReadFile(dir, std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6)), kBom + Smiley().c_str());
    EXPECT_EQ(ReadFile(dir, std::string("\xFF\xFE" "A\0B", 5)), kBom + L"AB");
    EXPECT_EQ(ReadFile(dir, std::string("\xFF\xFE\0\0", 4)), kBom);
}

TEST(CBrimFileRead, TextEndsAtTheFirstZero) {
    TempDir dir;
    EXPECT_EQ(ReadFile(dir, std::string("before\0after", 12)), L"before");
    EXPECT_EQ(ReadFile(dir, std::string("\xEF\xBB\xBF" "x\0y", 6)), kBom + L"x");
    EXPECT_EQ(ReadFile(dir, std::string("\xFF\xFE" "a\0\0\0b\0", 8)), kBom + L"a");
}

TEST(CBrimFileRead, UndecodedEncodingsAreNamedInTheMessage) {
    TempDir dir;
    const CStringW prefix = L"BrimException : \xC9C0\xC6D0\xD558\xC9C0 \xC54A\xB294 Format ";
    EXPECT_EQ(Thrown([&] { ReadFile(dir, std::string("\xFE\xFF\0A", 4)); }), prefix + L"UTF16_BE \xC785\xB2C8\xB2E4.");
    EXPECT_EQ(Thrown([&] { ReadFile(dir, "\x80 not text"); }), prefix + L"CANNOTFOUND \xC785\xB2C8\xB2E4.");
    EXPECT_EQ(Thrown([&] { ReadFile(dir, "+/v8-%s%n"); }), prefix + L"UTF7_0 \xC785\xB2C8\xB2E4.");
    unsigned char scsu[] = {0x0E, 0xFE, 0xFF, '%', 'd'};
    CBrimFile reader;
    EXPECT_EQ(Thrown([&] { reader.ReadText(scsu, sizeof scsu); }), prefix + L"SCSU \xC785\xB2C8\xB2E4.");
}

TEST(CBrimFileRead, ReadTextTakesExactlySizeBytes) {
    CBrimFile reader;
    // Exactly sized blocks with no terminator of their own.
    std::vector<unsigned char> utf8 = {0xEA, 0xB0, 0x80};
    EXPECT_EQ(reader.ReadText(utf8.data(), 3), L"\xAC00");
    EXPECT_EQ(reader.ReadText(utf8.data(), 2), L"\xFFFD");   // cut: detected as UTF-8, substituted
    std::vector<unsigned char> wide = {0xFF, 0xFE, 'h', 0, 'i'};
    EXPECT_EQ(reader.ReadText(wide.data(), 5), kBom + L"hi");
    EXPECT_EQ(reader.ReadText(nullptr, 0), L"");
}

// The ANSI code page of the reading process decodes EUC-KR and CP949 text.
std::string ReadInChild(const std::string& path, const std::string& lang) {
    auto child = brimtest::ChildProcess::Start({"read-file", path}, {"LANG=" + lang, "LC_ALL=", "LC_CTYPE="});
    const std::string line = child->ReadLine();
    EXPECT_EQ(child->Wait(), 0);
    return line;
}

TEST(CBrimFileRead, KoreanEncodingsThroughCodePage949) {
#if defined(_WIN32)
    if (::GetACP() != 949) GTEST_SKIP() << "the ANSI code page is not 949 here";
#endif
    TempDir dir;
    WriteBytes(dir.Path() / "euc.txt", "\xC7\xD1\xB1\xDB");         // "한글" in EUC-KR
    WriteBytes(dir.Path() / "cp.txt", "\xB0\xA1\x81\x41");          // "가갂" in CP949 only
    EXPECT_EQ(ReadInChild((dir.Path() / "euc.txt").string(), "ko_KR.UTF-8"), "text ed959ceab880");
    EXPECT_EQ(ReadInChild((dir.Path() / "cp.txt").string(), "ko_KR.UTF-8"), "text eab080eab082");
}

TEST(CBrimFileWrite, Utf8CreatesWithOneMarkAndAppends) {
    TempDir dir;
    CBrimFile file;
    file.SetFilename(dir.File(L"u8.txt"));
    file.WriteUTF8(L"\xD55C\xAE00");
    EXPECT_EQ(ReadBytes(dir.Path() / "u8.txt"), "\xEF\xBB\xBF\xED\x95\x9C\xEA\xB8\x80");
    file.WriteUTF8(L" more");
    EXPECT_EQ(ReadBytes(dir.Path() / "u8.txt"), "\xEF\xBB\xBF\xED\x95\x9C\xEA\xB8\x80 more");
    EXPECT_EQ(file.ReadTextFile(), kBom + L"\xD55C\xAE00 more");

    CBrimFile empty(file);
    empty.SetFilename(dir.File(L"empty.txt"));
    empty.WriteUTF8(L"");
    EXPECT_EQ(ReadBytes(dir.Path() / "empty.txt"), "\xEF\xBB\xBF");
    CBrimFile copy;
    copy = empty;
    EXPECT_EQ(copy.GetFilename(), empty.GetFilename());
}

TEST(CBrimFileWrite, UnicodeCreatesWithOneMarkAndAppends) {
    TempDir dir;
    CBrimFile file;
    file.SetFilename(dir.File(L"u16.txt"));
    file.WriteUnicode(L"A\xD55C");
    EXPECT_EQ(ReadBytes(dir.Path() / "u16.txt"), std::string("\xFF\xFE" "A\0\x5C\xD5", 6));
    file.WriteUnicode(Smiley().c_str());
    EXPECT_EQ(ReadBytes(dir.Path() / "u16.txt"), std::string("\xFF\xFE" "A\0\x5C\xD5\x3D\xD8\x00\xDE", 10));
    EXPECT_EQ(file.ReadTextFile(), kBom + L"A\xD55C" + Smiley().c_str());
}

TEST(CBrimFileWrite, NullTextThrowsAfterTheFileIsMade) {
    TempDir dir;
    CBrimFile file;
    file.SetFilename(dir.File(L"n8.txt"));
    EXPECT_EQ(Thrown([&] { file.WriteUTF8(nullptr); }), L"BrimException : No Unicode Value");
    EXPECT_EQ(ReadBytes(dir.Path() / "n8.txt"), "\xEF\xBB\xBF");
    file.SetFilename(dir.File(L"n16.txt"));
    EXPECT_EQ(Thrown([&] { file.WriteUnicode(nullptr); }), L"BrimException : No Unicode Value");
    EXPECT_EQ(ReadBytes(dir.Path() / "n16.txt"), "\xFF\xFE");
}

TEST(CBrimFileWrite, MissingFolderOrNameWritesNothingAndThrowsNothing) {
    TempDir dir;
    CBrimFile file;
    file.WriteUTF8(L"no name");
    file.WriteUnicode(L"no name");
    file.SetFilename(dir.File(L"absent/f.txt"));
    file.WriteUTF8(L"lost");
    file.WriteUnicode(L"lost");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "absent"));
}

TEST(CBrimFileWrite, RecordsBeyondTheConversionBufferAreWrittenWhole) {
    TempDir dir;
    CBrimFile file;
    file.SetFilename(dir.File(L"long.txt"));
    // 3 bytes a character: far past both 8192 and 32767 bytes, with a pair
    // beyond the basic plane at every position near the piece boundaries.
    std::wstring text;
    for (int i = 0; i < 20000; ++i) {
        text += (i % 2045 == 0 || i % 2047 == 0) ? Smiley() : std::wstring(1, wchar_t(0xD55C));
    }
    file.WriteUTF8(text.c_str());
    file.WriteUTF8(L"|end");
    EXPECT_EQ(std::wstring(file.ReadTextFile().GetString()), L"\xFEFF" + text + L"|end");
    const std::string bytes = ReadBytes(dir.Path() / "long.txt");
    EXPECT_EQ(bytes.find("\xEF\xBF\xBD"), std::string::npos) << "a surrogate pair was split";

    file.SetFilename(dir.File(L"long16.txt"));
    file.WriteUnicode(text.c_str());
    EXPECT_EQ(std::wstring(file.ReadTextFile().GetString()), L"\xFEFF" + text);
}

// Records long enough for the writers' large buffers: characters beyond the
// basic plane on both sides of every piece boundary and inside runs of
// ordinary ones, byte for byte against a conversion of the test's own.
TEST(CBrimFileWrite, RecordsBeyondTheLargeBufferAreWrittenWhole) {
    TempDir dir;
    CBrimFile file;
    std::wstring text;
    std::string utf16 = "\xFF\xFE";
    for (int i = 0; i < 140000; ++i) {
        const int offset = static_cast<int>(text.size() % 65536);
        if (offset >= 65533 || offset == 0 || i % 1000 == 7) {
            text += Smiley();
            utf16 += std::string("\x3D\xD8\x00\xDE", 4);
        } else if (i % 3 == 0) {
            text += L'a';
            utf16 += std::string("a\0", 2);
        } else {
            text += wchar_t(0xD55C);
            utf16 += "\x5C\xD5";
        }
    }
    file.SetFilename(dir.File(L"long16.txt"));
    file.WriteUnicode(text.c_str());
    EXPECT_TRUE(ReadBytes(dir.Path() / "long16.txt") == utf16);

    file.SetFilename(dir.File(L"long8.txt"));
    file.WriteUTF8(text.c_str());
    EXPECT_EQ(std::wstring(file.ReadTextFile().GetString()), L"\xFEFF" + text);
    EXPECT_EQ(ReadBytes(dir.Path() / "long8.txt").find("\xEF\xBF\xBD"), std::string::npos) << "a surrogate pair was split";
}

TEST(CBrimFileWrite, FileHeldExclusivelyByAnotherProcessDropsTheText) {
    TempDir dir;
    const std::string path = (dir.Path() / "held.txt").string();
    CBrimFile file;
    file.SetFilename(dir.File(L"held.txt"));
    file.WriteUTF8(L"first");
    auto holder = brimtest::ChildProcess::Start({"open-file", path, brimtest::HexFlags(CFile::modeReadWrite)});
    ASSERT_EQ(holder->ReadLine(), "open");
    file.WriteUTF8(L" dropped");
    file.WriteUnicode(L" dropped");
    holder->WriteLine("close");
    EXPECT_EQ(holder->Wait(), 0);
    file.WriteUTF8(L" second");
    EXPECT_EQ(ReadBytes(dir.Path() / "held.txt"), "\xEF\xBB\xBF" "first second");
}

TEST(CBrimFileWrite, ReaderHoldingTheFileMakesTheSecondOpenKeepItsBytes) {
    TempDir dir;
    const std::string path = (dir.Path() / "shared.txt").string();
    WriteBytes(dir.Path() / "shared.txt", "XYZ");   // content without a mark
    auto reader = brimtest::ChildProcess::Start(
        {"open-file", path, brimtest::HexFlags(CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)});
    ASSERT_EQ(reader->ReadLine(), "open");
    CBrimFile file;
    file.SetFilename(dir.File(L"shared.txt"));
    file.WriteUTF8(L"+tail");   // the shared open: the first bytes are not overwritten
    EXPECT_EQ(ReadBytes(dir.Path() / "shared.txt"), "XYZ+tail");
    // An empty file reached the same way gets its mark.
    WriteBytes(dir.Path() / "shared.txt", "");
    file.WriteUTF8(L"a");
    EXPECT_EQ(ReadBytes(dir.Path() / "shared.txt"), "\xEF\xBB\xBF" "a");
    reader->WriteLine("close");
    EXPECT_EQ(reader->Wait(), 0);
}

TEST(CBrimFileWrite, FileLayerFailuresCarryTheCauseNumber) {
#if defined(_WIN32)
    GTEST_SKIP() << "no device refuses writes here; the POSIX run covers the conversion";
#else
    // /dev/full opens, then refuses every write: disk full, cause 13.
    CBrimFile file;
    file.SetFilename(L"/dev/full");
    const CStringW expected = CodeText(CFileException::diskFull);
    EXPECT_EQ(Thrown([&] { file.WriteUTF8(L"x"); }), expected);
    EXPECT_EQ(Thrown([&] { file.WriteUnicode(L"x"); }), expected);
#endif
}

TEST(CBrimFileFolders, CreateFolderSplitsOnSlashOnly) {
    TempDir dir;
    const std::wstring base = dir.Path().wstring();
    const std::wstring sep = sizeof(wchar_t) == 2 ? L"\\" : L"/";
    CBrimFile::CreateFolder((base + sep + L"a/b/c").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "a" / "b" / "c"));
    CBrimFile::CreateFolder((base + sep + L"d/e/").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "d" / "e"));
    CBrimFile::CreateFolder((base + sep + L"a/b/c").c_str());   // existing: nothing to report
    CBrimFile::CreateFolder(nullptr);
    CBrimFile::CreateFolder(L"");

    // CreateFolder's own splitting takes "/" only; the file system then reads
    // "\" as a separator on every platform: one folder, whose parent must exist.
    CBrimFile::CreateFolder((base + sep + L"x\\y").c_str());
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "x"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "x\\y"));
    CBrimFile::CreateFolder((base + sep + L"a\\y").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "a" / "y"));
}

}  // namespace
