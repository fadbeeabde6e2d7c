// CBrimFile's reader and writers on real files, with openers in other processes; folder creation.
#include "tests/support/suite.h"

#include "tests/text/text_helpers.h"

namespace {

using brimtest::ReadBytes;
using brimtest::Smiley;
using brimtest::Thrown;
using brimtest::WriteBytes;

const CStringW kBom(L"\xFEFF");

class CBrimFileTest : public ::testing::Test {
protected:
    CStringW Read(const std::string& bytes) {
        WriteBytes(dir.Path() / "in.txt", bytes);
        file.SetFilename(dir.File(L"in.txt"));
        return file.ReadTextFile();
    }
    std::string Bytes(const char* name) { return ReadBytes(dir.Path() / name); }
    std::string PathOf(const char* name) { return (dir.Path() / name).string(); }

    brimtest::TempDir dir;
    CBrimFile file;
};

TEST_F(CBrimFileTest, ReadsEachDecodedEncodingUpToTheFirstZero) {
    const struct {
        std::string bytes;
        CStringW text;
    } cases[] = {
        {"", L""},                                                  // an empty file is ASCII, and empty
        {"\xEF\xBB\xBF" "A", kBom + L"A"},                          // the mark stays
        {"\xED\x95\x9C\xEA\xB8\x80 ok", L"\xD55C\xAE00 ok"},        // UTF-8 without a mark
        {"plain 7-bit\r\n", L"plain 7-bit\r\n"},
        {std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), kBom + Smiley().c_str()},
        {std::string("\xFF\xFE" "A\0B", 5), kBom + L"AB"},          // an odd last byte
        {std::string("\xFF\xFE\0\0", 4), kBom},                     // UTF-16, not UTF-32
        {std::string("before\0after", 12), L"before"},
        {std::string("\xEF\xBB\xBF" "x\0y", 6), kBom + L"x"},
        {std::string("\xFF\xFE" "a\0\0\0b\0", 8), kBom + L"a"},
    };
    for (const auto& c : cases) EXPECT_EQ(Read(c.bytes), c.text) << c.bytes;

    file.SetFilename(dir.File(L"missing.txt"));
    EXPECT_EQ(file.ReadTextFile(), L"");
    file.SetFilename(CStringW(dir.Path().wstring().c_str()));   // a folder
    EXPECT_EQ(file.ReadTextFile(), L"");

    // ReadText takes exactly size bytes, without a terminator of their own.
    std::vector<unsigned char> utf8 = {0xEA, 0xB0, 0x80};
    EXPECT_EQ(file.ReadText(utf8.data(), 2), L"\xFFFD");   // cut: detected as UTF-8, substituted
    EXPECT_EQ(file.ReadText(nullptr, 0), L"");
}

TEST_F(CBrimFileTest, UndecodedEncodingsAreNamedInTheMessage) {
    const CStringW prefix = L"BrimException : \xC9C0\xC6D0\xD558\xC9C0 \xC54A\xB294 Format ", end = L" \xC785\xB2C8\xB2E4.";
    EXPECT_EQ(Thrown([&] { Read(std::string("\xFE\xFF\0A", 4)); }), prefix + L"UTF16_BE" + end);
    EXPECT_EQ(Thrown([&] { Read("\x80 not text"); }), prefix + L"CANNOTFOUND" + end);
    EXPECT_EQ(Thrown([&] { Read("+/v8-%s%n"); }), prefix + L"UTF7_0" + end);
    unsigned char scsu[] = {0x0E, 0xFE, 0xFF, '%', 'd'};
    EXPECT_EQ(Thrown([&] { file.ReadText(scsu, sizeof scsu); }), prefix + L"SCSU" + end);
}

// The ANSI code page of the reading process decodes EUC-KR and CP949 text.
TEST_F(CBrimFileTest, KoreanEncodingsThroughCodePage949) {
#if defined(_WIN32)
    if (::GetACP() != 949) GTEST_SKIP() << "the ANSI code page is not 949 here";
#endif
    WriteBytes(dir.Path() / "euc.txt", "\xC7\xD1\xB1\xDB");   // "한글" in EUC-KR
    WriteBytes(dir.Path() / "cp.txt", "\xB0\xA1\x81\x41");    // "가갂" in CP949 only
    for (const auto& [name, line] : {std::pair{"euc.txt", "text ed959ceab880"}, std::pair{"cp.txt", "text eab080eab082"}}) {
        auto child = brimtest::ChildProcess::Start({"read-file", PathOf(name)}, {"LANG=ko_KR.UTF-8", "LC_ALL=", "LC_CTYPE="});
        EXPECT_EQ(child->ReadLine(), line);
        EXPECT_EQ(child->Wait(), 0);
    }
}

TEST_F(CBrimFileTest, WritersCreateWithOneMarkAndAppend) {
    file.SetFilename(dir.File(L"u8.txt"));
    file.WriteUTF8(L"\xD55C\xAE00");
    file.WriteUTF8(L" more");
    EXPECT_EQ(Bytes("u8.txt"), "\xEF\xBB\xBF\xED\x95\x9C\xEA\xB8\x80 more");

    file.SetFilename(dir.File(L"u16.txt"));
    file.WriteUnicode(L"A\xD55C");
    file.WriteUnicode(Smiley().c_str());
    EXPECT_EQ(Bytes("u16.txt"), std::string("\xFF\xFE" "A\0\x5C\xD5\x3D\xD8\x00\xDE", 10));

    // A null text throws after the file is made; without its folder nothing is written or thrown.
    using Writer = std::pair<void (CBrimFile::*)(const wchar_t*), const char*>;   // and the mark it writes
    for (const auto& [write, mark] :
         {Writer{&CBrimFile::WriteUTF8, "\xEF\xBB\xBF"}, Writer{&CBrimFile::WriteUnicode, "\xFF\xFE"}}) {
        std::filesystem::remove(dir.Path() / "n.txt");
        file.SetFilename(dir.File(L"n.txt"));
        EXPECT_EQ(Thrown([&] { (file.*write)(nullptr); }), L"BrimException : No Unicode Value");
        (file.*write)(L"");
        EXPECT_EQ(Bytes("n.txt"), mark);
        file.SetFilename(dir.File(L"absent/f.txt"));
        (file.*write)(L"lost");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "absent"));
}

// Records past every conversion buffer (8192, 32767, 65536 units) with pairs on both sides of each piece boundary.
TEST_F(CBrimFileTest, LongRecordsAreWrittenWhole) {
    using Unit = std::pair<std::wstring, std::string>;   // and its UTF-16 LE bytes
    const Unit smiley{Smiley(), std::string("\x3D\xD8\x00\xDE", 4)}, a{L"a", std::string("a\0", 2)},
        han{L"\xD55C", "\x5C\xD5"};
    std::wstring text;
    std::string utf16 = "\xFF\xFE";
    for (int i = 0; i < 140000; ++i) {
        const int offset = static_cast<int>(text.size() % 65536);
        const bool edge = offset >= 65533 || offset == 0 || i % 1000 == 7 || i % 2045 == 0 || i % 2047 == 0;
        const Unit& unit = edge ? smiley : i % 3 == 0 ? a : han;
        text += unit.first;
        utf16 += unit.second;
    }
    file.SetFilename(dir.File(L"long16.txt"));
    file.WriteUnicode(text.c_str());
    EXPECT_TRUE(Bytes("long16.txt") == utf16);

    file.SetFilename(dir.File(L"long8.txt"));
    file.WriteUTF8(text.c_str());
    file.WriteUTF8(L"|end");
    EXPECT_EQ(std::wstring(file.ReadTextFile().GetString()), L"\xFEFF" + text + L"|end");
    EXPECT_EQ(Bytes("long8.txt").find("\xEF\xBF\xBD"), std::string::npos) << "a surrogate pair was split";
}

// A file another process holds exclusively drops the text; one a reader shares makes the open keep its bytes.
TEST_F(CBrimFileTest, OpenersInOtherProcesses) {
    file.SetFilename(dir.File(L"held.txt"));
    file.WriteUTF8(L"first");
    auto holder = brimtest::ChildProcess::Start({"open-file", PathOf("held.txt"), "2"});   // read-write, exclusive
    ASSERT_EQ(holder->ReadLine(), "open");
    file.WriteUTF8(L" dropped");
    file.WriteUnicode(L" dropped");
    holder->WriteLine("close");
    EXPECT_EQ(holder->Wait(), 0);
    file.WriteUTF8(L" second");
    EXPECT_EQ(Bytes("held.txt"), "\xEF\xBB\xBF" "first second");

    WriteBytes(dir.Path() / "shared.txt", "XYZ");   // content without a mark
    auto reader = brimtest::ChildProcess::Start({"open-file", PathOf("shared.txt"), "8040"});   // shared reader
    ASSERT_EQ(reader->ReadLine(), "open");
    file.SetFilename(dir.File(L"shared.txt"));
    file.WriteUTF8(L"+tail");   // the shared open: the first bytes are not overwritten
    EXPECT_EQ(Bytes("shared.txt"), "XYZ+tail");
    WriteBytes(dir.Path() / "shared.txt", "");   // an empty file reached the same way gets its mark
    file.WriteUTF8(L"a");
    EXPECT_EQ(Bytes("shared.txt"), "\xEF\xBB\xBF" "a");
    reader->WriteLine("close");
    EXPECT_EQ(reader->Wait(), 0);
}

#if !defined(_WIN32)
// /dev/full opens, then refuses every write: disk full, cause 13 (Windows has no such device).
TEST_F(CBrimFileTest, FileLayerFailuresCarryTheCauseNumber) {
    file.SetFilename(L"/dev/full");
    const CStringW expected = brimtest::CodeText(CFileException::diskFull);
    EXPECT_EQ(Thrown([&] { file.WriteUTF8(L"x"); }), expected);
    EXPECT_EQ(Thrown([&] { file.WriteUnicode(L"x"); }), expected);
}
#endif

TEST_F(CBrimFileTest, CreateFolderSplitsOnSlashOnly) {
    const std::wstring base = dir.Path().wstring() + (sizeof(wchar_t) == 2 ? L"\\" : L"/");
    // The second a/b/c exists already; "\" is left to the file system: one folder, whose parent must exist.
    for (const wchar_t* path : {L"a/b/c", L"d/e/", L"a/b/c", L"x\\y", L"a\\y"}) {
        CBrimFile::CreateFolder((base + path).c_str());
    }
    CBrimFile::CreateFolder(nullptr);
    CBrimFile::CreateFolder(L"");
    for (const char* made : {"a/b/c", "d/e", "a/y"}) {
        EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / made)) << made;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "x"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "x\\y"));
}

}  // namespace
