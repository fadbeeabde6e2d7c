// Encoding detection: marks and their order, the probers' priority, cut-off
// sequences, the tables' bounds, and the fast detector against a plain
// byte-by-byte reference on mixed text that crosses its chunk boundaries.
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
    const std::string marks[13] = {"\xEF\xBB\xBF", "\xFE\xFF", "\xFF\xFE", std::string("\0\0\xFE\xFF", 4),
                                   std::string("\xFF\xFE\0\0", 4), "\x0E\xFE\xFF", "+/v8", "+/v9", "+/v+", "+/v/",
                                   "+/v8-", "\xDD\x73\x66\x73", "\xFB\xEE\x28"};
    for (int id = 0; id < 13; ++id) {
        // The first match wins: FF FE 00 00 is UTF-16 LE, "+/v8-" is UTF7_0.
        const int expected = id == CBrimFile::UTF32_LE ? CBrimFile::UTF16_LE : id == CBrimFile::UTF7_4 ? CBrimFile::UTF7_0 : id;
        EXPECT_EQ(Detect(marks[id]), expected) << "mark alone, id " << id;
        EXPECT_EQ(Detect(marks[id] + "\x80\xFF garbage"), expected) << "mark before bad bytes, id " << id;
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

TEST(ProberSteps, StatesAndRejection) {
    CBrimFile::Prober p = CBrimFile::_probers[1];
    for (unsigned char b : {0xF0, 0x9F, 0x98}) CBrimFile::_probeUtf8(&p, b);
    EXPECT_EQ(p.nState, 1);
    CBrimFile::_probeUtf8(&p, 0x80);
    EXPECT_EQ(p.nState, 0);
    EXPECT_EQ(p.bActive, 1);
    CBrimFile::_probeUtf8(&p, 0xBF);
    EXPECT_EQ(p.bActive, 0);

    CBrimFile::Prober cp = CBrimFile::_probers[3];
    CBrimFile::_probeCp949(&cp, 0xC6);
    EXPECT_EQ(cp.nState, 2);
    CBrimFile::_probeCp949(&cp, 0xA1);
    EXPECT_EQ(cp.nState, 0);
    CBrimFile::_probeCp949(&cp, 0xA0);
    EXPECT_EQ(cp.nState, 1);
    CBrimFile::_probeCp949(&cp, 0x5B);   // between the two letter ranges
    EXPECT_EQ(cp.bActive, 0);
}

// Pieces each prober likes or dislikes, long enough to cross the detector's
// internal chunks with sequences cut at every offset; each flavour mostly
// keeps to the pieces of one encoding.
std::string MixedText(std::mt19937& rng, std::size_t size, int flavour) {
    static const char* const pieces[] = {"plain words ", "\xED\x95\x9C\xEA\xB8\x80", "\xC7\xD1\xB1\xDB",
                                         "\x81\x41\xB0\x5A", "\xF0\x9F\x98\x80", "\n\t"};
    std::string out;
    while (out.size() < size) {
        int k = static_cast<int>(rng() % 6);
        if (flavour == 0) k = k % 2 == 0 ? 0 : 5;
        if (flavour == 1) k = k < 3 ? 1 : k == 3 ? 4 : 0;
        if (flavour == 2) k = k < 4 ? 2 : 0;
        if (flavour == 3) k = k < 2 ? 3 : k < 4 ? 2 : 0;
        out += pieces[k];
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
