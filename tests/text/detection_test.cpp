// Encoding detection: marks, the probers' priority, cut-off sequences, table bounds, and a plain reference.
#include "tests/support/suite.h"

#include "tests/text/reference_detector.h"

#include <climits>

struct BrimFileInspector {
    static int BomMatch(int id, unsigned char* buf) { return CBrimFile::_isBomMatch(id, buf); }
};

namespace {

// Detects exactly the bytes of text, in a block of exactly that size, which it must leave alone.
int Detect(const std::string& text) {
    std::vector<unsigned char> block(text.begin(), text.end());
    const int id =
        CBrimFile::EncodingCheck(block.empty() ? nullptr : block.data(), static_cast<unsigned int>(block.size()));
    EXPECT_EQ(std::string(block.begin(), block.end()), text) << "the buffer was changed";
    return id;
}

int Reference(const std::string& text) {
    return brimtest::ReferenceEncoding(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

TEST(EncodingCheck, EveryMarkAtTheStart) {
    for (int id = 0; id < 13; ++id) {
        // The first match wins: FF FE 00 00 is UTF-16 LE, "+/v8-" is UTF7_0.
        const int expected = id == CBrimFile::UTF32_LE ? CBrimFile::UTF16_LE : id == CBrimFile::UTF7_4 ? CBrimFile::UTF7_0 : id;
        const std::string mark(brimtest::kMarks[id]);
        EXPECT_EQ(Detect(mark), expected) << "mark alone, id " << id;
    }
}

TEST(EncodingCheck, ProbersTruncatedMarksAndCutSequences) {
    const struct {
        std::string bytes;
        int id;
    } cases[] = {
        {"", CBrimFile::ASCII},
        {std::string("ctrl\x01\x1F\x7F\0zero", 13), CBrimFile::ASCII},
        {std::string("\0\0", 2), CBrimFile::ASCII},            // UTF32_BE needs four bytes
        {std::string("\0\0\xFE", 3), CBrimFile::EUCKR},        // FE: a cut-off Korean lead
        {"+/v", CBrimFile::ASCII},
        {"\xEF\xBB", CBrimFile::UTF8_NOBOM},                   // a cut-off UTF-8 sequence
        {"\xDD\x73\x66", CBrimFile::CANNOTFOUND},              // no mark; no prober takes DD 73
        {"\xB0\xA1\x81\x7A", CBrimFile::CP949},
        {"\xFF\x41", CBrimFile::CANNOTFOUND},
        {"\xC6\x41", CBrimFile::CANNOTFOUND},                  // C6 wants A1..FE in CP949
        {"\xC6\xA1\xA0\x41", CBrimFile::CP949},               // A0 leads in CP949 only
        {"\x81\x5B", CBrimFile::CANNOTFOUND},                  // between CP949's two letter ranges
        {"\xF0\x9F\x98\x80\xBF", CBrimFile::CANNOTFOUND},     // a continuation after a whole sequence
        // Only the bit patterns count for UTF-8: overlong leads, surrogates, F5..F7.
        {"\xC0\x80\xED\xA0\x80\xF7\xBF\xBF\xBF", CBrimFile::UTF8_NOBOM},
        {"\xF8\x80\x80\x80\x80", CBrimFile::CANNOTFOUND},
        // A sequence cut by the end does not reject; one broken by a byte does.
        {"plain\xF0\x9F\x98", CBrimFile::UTF8_NOBOM},
        {"plain\xB0", CBrimFile::EUCKR},                       // UTF-8 rejects a lone B0
        {"plain\x81", CBrimFile::CP949},
        {"\xB0\xA1\xC6", CBrimFile::EUCKR},
        {"plain\xC3 ", CBrimFile::CANNOTFOUND},
    };
    for (const auto& c : cases) EXPECT_EQ(Detect(c.bytes), c.id) << ::testing::PrintToString(c.bytes);
}

TEST(EncodingTables, NamesAndBoundsOfTheTables) {
    const wchar_t* names[18] = {L"UTF8_BOM", L"UTF16_BE", L"UTF16_LE", L"UTF32_BE", L"UTF32_LE", L"SCSU",
                                L"UTF7_0",   L"UTF7_1",   L"UTF7_2",   L"UTF7_3",   L"UTF7_4",   L"UTF_EBCDIC",
                                L"BOCU_1",   L"ASCII",    L"UTF8_NOBOM", L"EUCKR",  L"CP949",    L"CANNOTFOUND"};
    for (int id = 0; id < 18; ++id) EXPECT_EQ(CBrimFile::GetEncodingName(id), names[id]);
    for (int id : {-1, 18, 1000, INT_MIN, INT_MAX}) EXPECT_EQ(CBrimFile::GetEncodingName(id), L"") << id;

    unsigned char buf[8] = {0xEF, 0xBB, 0xBF, 0, 0, 0, 0, 0};
    EXPECT_EQ(BrimFileInspector::BomMatch(0, buf), 1);
    EXPECT_EQ(BrimFileInspector::BomMatch(1, buf), 0);
    for (int id : {-1, 13, 17, INT_MAX, INT_MIN}) EXPECT_EQ(BrimFileInspector::BomMatch(id, buf), 0) << id;
    unsigned char utf7[5] = {'+', '/', 'v', '8', '-'};
    EXPECT_EQ(BrimFileInspector::BomMatch(10, utf7), 1);
}

// Bytes only some probers take, edges of their ranges, and sequences split across the detector's chunks.
TEST(EncodingCheck, AgreesWithAPlainReference) {
    for (std::size_t at : {0u, 1u, 7u, 16382u, 16383u, 16384u, 32766u, 32767u, 39996u}) {
        for (const std::string piece : {"", "\x80", "\xC3", "\xB0", "\x81", "\xFF", "\xC3\xA9", "\xDF\xBF",
                                        "\xED\x95\x9C", "\xEF\xBF\xBF", "\xF7\xBF\xBF\xBF", "\xC7\xD1", "\xFE\xFE",
                                        "\x81\x41", "\xC5\x7A", "\xC6\xA1"}) {
            const std::string text = std::string(40000, 'a').replace(at, piece.size(), piece);
            EXPECT_EQ(Detect(text), Reference(text)) << at << " " << ::testing::PrintToString(piece);
        }
    }
}

}  // namespace
