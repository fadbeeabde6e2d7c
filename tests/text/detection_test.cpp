// Encoding detection: marks, the probers' priority, cut-off sequences, table bounds, and a plain reference.
#include <brim/brim.h>

#include "tests/support/printers.h"
#include "tests/text/reference_detector.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

struct BrimFileInspector {
    static int BomMatch(int id, unsigned char* buf) { return CBrimFile::_isBomMatch(id, buf); }
};

namespace {

// Detects exactly the bytes of text, in a block of exactly that size.
int Detect(const std::string& text) {
    std::vector<unsigned char> block(text.begin(), text.end());
    return CBrimFile::EncodingCheck(block.empty() ? nullptr : block.data(), static_cast<unsigned int>(block.size()));
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
        EXPECT_EQ(Detect(mark + "\x80\xFF garbage"), expected) << "mark before bad bytes, id " << id;
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
        {"\xFF", CBrimFile::CANNOTFOUND},
        {"\xDD\x73\x66", CBrimFile::CANNOTFOUND},              // no mark; no prober takes DD 73
        {"\xC3\xA9", CBrimFile::UTF8_NOBOM},                   // fits all three; UTF-8 first
        {"\xC7\xD1\xB1\xDB", CBrimFile::EUCKR},                // UTF-8 rejects D1
        {"\x81\x41", CBrimFile::CP949},                        // only CP949 takes 81 and 41
        {"\xB0\xA1\x81\x7A", CBrimFile::CP949},
        {"\x80" "plain text after", CBrimFile::CANNOTFOUND},
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
    EXPECT_EQ(CBrimFile::EncodingCheck(nullptr, 0), CBrimFile::ASCII);

    std::string text = "\xEA\xB0\x80 mixed \xC7\xD1";
    std::vector<unsigned char> block(text.begin(), text.end());
    CBrimFile::EncodingCheck(block.data(), static_cast<unsigned int>(block.size()));
    EXPECT_EQ(std::string(block.begin(), block.end()), text) << "the buffer is left alone";
}

TEST(EncodingTables, NamesAndBoundsOfTheTables) {
    const wchar_t* names[18] = {L"UTF8_BOM", L"UTF16_BE", L"UTF16_LE", L"UTF32_BE", L"UTF32_LE", L"SCSU",
                                L"UTF7_0",   L"UTF7_1",   L"UTF7_2",   L"UTF7_3",   L"UTF7_4",   L"UTF_EBCDIC",
                                L"BOCU_1",   L"ASCII",    L"UTF8_NOBOM", L"EUCKR",  L"CP949",    L"CANNOTFOUND"};
    for (int id = 0; id < 18; ++id) {
        EXPECT_EQ(CBrimFile::GetEncodingName(id), names[id]);
        for (int k = static_cast<int>(wcslen(names[id])); k < 20; ++k) EXPECT_EQ(CBrimFile::_encodingNames[id][k], 0);
    }
    for (int id : {-1, 18, 1000, INT_MIN, INT_MAX}) EXPECT_EQ(CBrimFile::GetEncodingName(id), L"") << id;

    unsigned char buf[8] = {0xEF, 0xBB, 0xBF, 0, 0, 0, 0, 0};
    EXPECT_EQ(BrimFileInspector::BomMatch(0, buf), 1);
    EXPECT_EQ(BrimFileInspector::BomMatch(1, buf), 0);
    for (int id : {-1, 13, 17, INT_MAX, INT_MIN}) EXPECT_EQ(BrimFileInspector::BomMatch(id, buf), 0) << id;
    unsigned char utf7[5] = {'+', '/', 'v', '8', '-'};
    EXPECT_EQ(BrimFileInspector::BomMatch(6, utf7), 1);
    EXPECT_EQ(BrimFileInspector::BomMatch(10, utf7), 1);
}

// Text long enough to cross the detector's chunks, each flavour mostly of one encoding's pieces.
std::string MixedText(std::mt19937& rng, std::size_t size, int flavour) {
    static const char* const pieces[] = {"plain words ", "\xED\x95\x9C\xEA\xB8\x80", "\xC7\xD1\xB1\xDB",
                                         "\x81\x41\xB0\x5A", "\xF0\x9F\x98\x80", "\n\t"};
    static const int mix[5][6] = {{0, 5, 0, 5, 0, 5}, {1, 1, 1, 4, 0, 0}, {2, 2, 2, 2, 0, 0}, {3, 3, 2, 2, 0, 0},
                                  {0, 1, 2, 3, 4, 5}};
    std::string out;
    while (out.size() < size) {
        out += pieces[mix[flavour][rng() % 6]];
        if (rng() % 1000 == 0) out.push_back(static_cast<char>(rng()));   // a stray byte now and then
    }
    out.resize(size);
    return out;
}

TEST(EncodingCheck, AgreesWithAPlainReference) {
    std::mt19937 rng(20240611);
    int seen[18] = {};
    for (int round = 0; round < 400; ++round) {
        const std::size_t size = round < 64 ? static_cast<std::size_t>(round) : rng() % 70001;
        const std::string text = MixedText(rng, size, round % 5);
        const int expected = Reference(text);
        ASSERT_EQ(Detect(text), expected) << "round " << round << ", size " << size;
        ++seen[expected];
    }
    for (int id = 13; id <= 17; ++id) EXPECT_GT(seen[id], 0) << "the mix reaches every prober's answer " << id;

    // One byte that only some probers take, around the chunk boundaries.
    for (std::size_t at : {0u, 1u, 7u, 8u, 16383u, 16384u, 16385u, 32767u, 32768u, 39999u}) {
        for (unsigned char bad : {0x80, 0xC3, 0xB0, 0x81, 0xFF}) {
            std::string text(40000, 'a');
            text[at] = static_cast<char>(bad);
            EXPECT_EQ(Detect(text), Reference(text)) << at << " " << int(bad);
        }
    }
}

}  // namespace
