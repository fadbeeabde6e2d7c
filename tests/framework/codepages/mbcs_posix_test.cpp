// The code-page conversions on POSIX against iconv itself, driven here the
// way the conversions are defined: convert as much as iconv takes, put one
// substitute where it stops on what it cannot convert, step over one unit,
// go on. The tables must give exactly that for every byte pair and every
// code point of the basic plane, and in random texts.
#include "framework/codepages/mbcs_posix.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

namespace d = brim::platform::mbcs;

constexpr unsigned kDoubleBytePages[] = {932, 936, 949, 950, 51949};
constexpr unsigned kSingleBytePages[] = {874, 1250, 1251, 1252, 1253, 1254, 1256, 1257, 20127, 28591};
// glibc's converters for these keep a letter back to combine it with an accent.
constexpr unsigned kCombiningPages[] = {1255, 1258};

// One converter per direction and code page, opened once, closed at exit.
struct Converters : std::map<std::pair<std::string, std::string>, iconv_t> {
    ~Converters() {
        for (auto& entry : *this) {
            if (entry.second != reinterpret_cast<iconv_t>(-1)) iconv_close(entry.second);
        }
    }
};

iconv_t Converter(const char* to, const char* from) {
    static Converters open;
    iconv_t& cd = open[{to, from}];
    if (cd == nullptr) cd = iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << from << " -> " << to;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return cd;
}

template <typename In, typename Out>
std::basic_string<Out> ByIconv(const char* to, const char* from, const In* src, std::size_t n, Out substitute) {
    const iconv_t cd = Converter(to, from);
    std::basic_string<Out> out;
    char* in = reinterpret_cast<char*>(const_cast<In*>(src));
    std::size_t inLeft = n * sizeof(In);
    while (inLeft > 0) {
        Out chunk[64];
        char* o = reinterpret_cast<char*>(chunk);
        std::size_t outLeft = sizeof chunk;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
        out.append(chunk, static_cast<std::size_t>(reinterpret_cast<Out*>(o) - chunk));
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        out.push_back(substitute);
        const std::size_t step = std::min(sizeof(In), inLeft);
        in += step;
        inLeft -= step;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

std::wstring ExpectedWide(unsigned cp, const std::string& bytes) {
    return ByIconv("WCHAR_T", d::IconvName(cp), bytes.data(), bytes.size(), cp == 932 ? L'\x30FB' : L'?');
}

std::string ExpectedBytes(unsigned cp, const std::wstring& wide) {
    return ByIconv(d::IconvName(cp), "WCHAR_T", wide.data(), wide.size(), '?');
}

// The library's result, its count, and what a buffer one unit short gives;
// the result is written shift units into its buffer, which must stay as it
// was before and after it.
std::wstring Decoded(unsigned cp, const std::string& bytes, std::size_t shift = 0) {
    const std::size_t count = d::MbcsToWideCount(cp, bytes.data(), bytes.size());
    std::vector<wchar_t> buffer(shift + count + 1, L'\x5A5A');
    const std::size_t done = d::MbcsToWide(cp, bytes.data(), bytes.size(), buffer.data() + shift, count);
    EXPECT_EQ(done, count) << "code page " << cp;
    EXPECT_EQ(buffer[shift + count], L'\x5A5A') << "written past the count";
    EXPECT_EQ(std::count(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(shift), L'\x5A5A'),
              static_cast<std::ptrdiff_t>(shift)) << "written before the buffer";
    if (count > 0) {
        EXPECT_EQ(d::MbcsToWide(cp, bytes.data(), bytes.size(), buffer.data() + shift, count - 1), d::kMbcsOverflow);
    }
    return std::wstring(buffer.data() + shift, std::min(done, count));
}

std::string Encoded(unsigned cp, const std::wstring& wide, std::size_t shift = 0) {
    const std::size_t count = d::WideToMbcsCount(cp, wide.data(), wide.size());
    std::vector<char> buffer(shift + count + 1, 'Z');
    const std::size_t done = d::WideToMbcs(cp, wide.data(), wide.size(), buffer.data() + shift, count);
    EXPECT_EQ(done, count) << "code page " << cp;
    EXPECT_EQ(buffer[shift + count], 'Z') << "written past the count";
    EXPECT_EQ(std::count(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(shift), 'Z'),
              static_cast<std::ptrdiff_t>(shift)) << "written before the buffer";
    if (count > 0) {
        EXPECT_EQ(d::WideToMbcs(cp, wide.data(), wide.size(), buffer.data() + shift, count - 1), d::kMbcsOverflow);
    }
    return std::string(buffer.data() + shift, std::min(done, count));
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char item[4];
    for (unsigned char b : bytes) {
        std::snprintf(item, sizeof item, "%02X ", b);
        out += item;
    }
    return out;
}

TEST(MbcsTables, TakenWhereTheConverterKeepsNoState) {
    for (unsigned cp : kDoubleBytePages) EXPECT_TRUE(d::MbcsDecodesByTable(cp) && d::MbcsEncodesByTable(cp)) << cp;
    for (unsigned cp : kSingleBytePages) EXPECT_TRUE(d::MbcsDecodesByTable(cp) && d::MbcsEncodesByTable(cp)) << cp;
    for (unsigned cp : kCombiningPages) EXPECT_FALSE(d::MbcsDecodesByTable(cp)) << cp;
    EXPECT_FALSE(d::MbcsDecodesByTable(12345));
    EXPECT_EQ(d::MbcsToWideCount(12345, "a", 1), d::kMbcsUnsupported);
    EXPECT_EQ(d::WideToMbcsCount(12345, L"a", 1), d::kMbcsUnsupported);
}

// Every pair of bytes, alone and followed by a letter: a pair iconv takes
// and refuses (CP949 A2 E8 on glibc) costs the letter after it.
TEST(MbcsTables, EveryBytePairDecodesAsIconvDecodesIt) {
    std::vector<unsigned> pages(std::begin(kDoubleBytePages), std::end(kDoubleBytePages));
    pages.insert(pages.end(), std::begin(kSingleBytePages), std::end(kSingleBytePages));
    pages.insert(pages.end(), std::begin(kCombiningPages), std::end(kCombiningPages));
    for (unsigned cp : pages) {
        int failures = 0;
        for (unsigned pair = 0; pair < 0x10000 && failures < 5; ++pair) {
            const std::string two = {static_cast<char>(pair >> 8), static_cast<char>(pair)};
            for (const std::string& text : {two, two + "A", two.substr(0, (pair & 0xFF) == 0 ? 1 : 2)}) {
                const std::wstring expected = ExpectedWide(cp, text);
                if (Decoded(cp, text) != expected) {
                    ADD_FAILURE() << "code page " << cp << ", bytes " << Hex(text);
                    ++failures;
                }
            }
        }
    }
}

TEST(MbcsTables, EveryCodePointEncodesAsIconvEncodesIt) {
    std::vector<unsigned> pages(std::begin(kDoubleBytePages), std::end(kDoubleBytePages));
    pages.insert(pages.end(), std::begin(kSingleBytePages), std::end(kSingleBytePages));
    pages.insert(pages.end(), std::begin(kCombiningPages), std::end(kCombiningPages));
    // Beyond the basic plane the tables hand a unit to iconv: samples of
    // every plane, the tags glibc drops, and values that are no code point.
    std::vector<wchar_t> points;
    for (std::uint32_t c = 0; c < 0x10000; ++c) points.push_back(static_cast<wchar_t>(c));
    for (std::uint32_t c = 0x10000; c < 0x110000; c += 0x1003) points.push_back(static_cast<wchar_t>(c));
    for (wchar_t c : {0xE0001, 0xE0041, 0xE007F, 0x110000, 0x7FFFFFFF, -1}) points.push_back(c);
    for (unsigned cp : pages) {
        int failures = 0;
        for (std::size_t k = 0; k < points.size() && failures < 5; ++k) {
            const std::wstring one(1, points[k]);
            for (const std::wstring& text : {one, one + L"A"}) {
                if (Encoded(cp, text) != ExpectedBytes(cp, text)) {
                    ADD_FAILURE() << "code page " << cp << ", unit " << std::hex << static_cast<std::uint32_t>(points[k]);
                    ++failures;
                }
            }
        }
    }
}

// Texts of the kind each page holds: mostly its own characters, runs of
// ASCII of every length, stray lead bytes and cut-off pairs.
TEST(MbcsTables, RandomTextsBothWays) {
    std::mt19937 rng(949);
    for (unsigned cp : {949u, 51949u, 932u, 936u, 950u, 1252u, 1251u, 874u, 1258u}) {
        // The page's own characters, read back from a sample of its pairs.
        std::wstring alphabet;
        for (unsigned pair = 0x8100; pair < 0x10000; pair += 7) {
            const std::string two = {static_cast<char>(pair >> 8), static_cast<char>(pair)};
            for (wchar_t c : ExpectedWide(cp, two)) {
                if (c > 0x7F && c != L'?' && c != L'\x30FB') alphabet.push_back(c);
            }
        }
        ASSERT_FALSE(alphabet.empty()) << cp;
        for (int round = 0; round < 200; ++round) {
            std::wstring wide;
            const int length = static_cast<int>(rng() % 300);
            for (int i = 0; i < length; ++i) {
                const unsigned kind = rng() % 10;
                if (kind < 5) {
                    wide.push_back(alphabet[rng() % alphabet.size()]);
                } else if (kind < 8) {
                    wide.append(rng() % 20, static_cast<wchar_t>(L' ' + rng() % 90));
                } else if (kind == 8) {
                    wide.push_back(static_cast<wchar_t>(0x80 + rng() % 0x20000));   // mostly not in the page
                } else {
                    wide.push_back(L'\x2603');
                }
            }
            const std::string bytes = ExpectedBytes(cp, wide);
            ASSERT_EQ(Encoded(cp, wide), bytes) << "code page " << cp;
            ASSERT_EQ(Decoded(cp, bytes), ExpectedWide(cp, bytes)) << "code page " << cp << ": " << Hex(bytes);
            // The same bytes cut anywhere, and with stray bytes among them.
            std::string damaged = bytes;
            if (!damaged.empty()) {
                damaged.resize(rng() % damaged.size());
                for (int k = 0; k < 3 && !damaged.empty(); ++k) damaged[rng() % damaged.size()] = static_cast<char>(0x80 | rng());
            }
            ASSERT_EQ(Decoded(cp, damaged), ExpectedWide(cp, damaged)) << "code page " << cp << ": " << Hex(damaged);
        }
    }
}

TEST(MbcsTables, EmptyAndTerminatedInputs) {
    for (unsigned cp : {949u, 1252u, 1258u}) {
        EXPECT_EQ(d::MbcsToWideCount(cp, "", 0), 0u);
        EXPECT_EQ(d::WideToMbcsCount(cp, L"", 0), 0u);
        // A terminator is converted like any other unit.
        EXPECT_EQ(Decoded(cp, std::string("a\0", 2)), std::wstring(L"a\0", 2));
        EXPECT_EQ(Encoded(cp, std::wstring(L"a\0", 2)), std::string("a\0", 2));
    }
    // "한글 A" both ways, and a lead byte cut off by the end.
    EXPECT_EQ(Decoded(949, "\xC7\xD1\xB1\xDB A"), L"\xD55C\xAE00 A");
    EXPECT_EQ(Encoded(949, L"\xD55C\xAE00 A"), "\xC7\xD1\xB1\xDB A");
    EXPECT_EQ(Decoded(949, "A\xC7"), L"A?");
    EXPECT_EQ(Decoded(932, "A\x82"), L"A\x30FB");
}

// The vector loops take 64 bytes (16 units) at a time and leave to the
// tables what they cannot be sure of. Every kind of seam, at every offset
// within a block and across the next, after runs of pairs of both parities.

// A pair of two lead bytes that decodes to one character.
std::string PairOfLeads(unsigned cp) {
    for (unsigned pair = 0xB0B0; pair < 0x10000; ++pair) {
        const std::string two = {static_cast<char>(pair >> 8), static_cast<char>(pair)};
        const std::wstring wide = ExpectedWide(cp, two);
        if (wide.size() == 1 && wide[0] > 0x7F && wide[0] != L'\x30FB' &&
            ExpectedWide(cp, two.substr(1) + " ").size() == 2 && ExpectedWide(cp, two.substr(1) + two).size() == 2) {
            return two;
        }
    }
    ADD_FAILURE() << "no pair of leads in code page " << cp;
    return "AB";
}

TEST(MbcsVectorSeams, DecodingSeamsAtEveryOffset) {
    for (unsigned cp : kDoubleBytePages) {
        const std::string pair = PairOfLeads(cp);
        const std::string lead = pair.substr(0, 1);
        std::string run, mixed;
        while (run.size() < 200) run += pair;
        while (mixed.size() < 200) mixed += pair + "ab" + pair + pair + " 1" + pair;
        const std::string seams[] = {
            lead + " ",                  // a lead before a byte that cannot trail it
            lead + "A", lead + "z",      // letters as trails (CP949's added syllables)
            pair + lead + "!",           // a run of odd length
            "\x80", "\xFF", "\xA1",      // high bytes that lead nothing (or are characters alone)
            "\xA2\xE8xyz",               // a pair glibc takes and refuses in CP949
            lead + "\x7F", lead,         // a trail out of every range; a lead cut off by the end
        };
        for (const std::string* filler : {&run, &mixed}) {
            for (const std::string& seam : seams) {
                for (std::size_t offset = 0; offset <= 140; ++offset) {
                    const std::string text = filler->substr(0, offset) + seam + *filler;
                    ASSERT_EQ(Decoded(cp, text, offset % 4), ExpectedWide(cp, text))
                        << "code page " << cp << ": " << Hex(text);
                    const std::string cut = filler->substr(0, offset) + seam;   // the seam at the very end
                    ASSERT_EQ(Decoded(cp, cut), ExpectedWide(cp, cut)) << "code page " << cp << ": " << Hex(cut);
                }
            }
        }
    }
}

// Runs of lead bytes of every length, even and odd, from every position in
// a block, ended by ASCII.
TEST(MbcsVectorSeams, RunsOfLeadsOfEveryLength) {
    for (unsigned cp : {949u, 932u, 936u}) {
        const std::string pair = PairOfLeads(cp);
        std::string run;
        while (run.size() < 140) run += pair;
        for (std::size_t before = 0; before <= 64; ++before) {
            for (std::size_t length = 0; length <= 140; ++length) {
                const std::string text = std::string(before, 'x') + run.substr(0, length) + "AB cd" + std::string(70, 'y');
                ASSERT_EQ(Decoded(cp, text), ExpectedWide(cp, text)) << "code page " << cp << ": " << Hex(text);
            }
        }
    }
}

TEST(MbcsVectorSeams, EncodingSeamsAtEveryOffset) {
    for (unsigned cp : {949u, 51949u, 932u, 936u, 950u, 1252u, 1251u}) {
        // The page's own characters and ASCII, in runs of 1 to 3.
        std::wstring filler;
        for (unsigned pair = 0xB0A1; filler.size() < 120; pair += 0x0103) {
            const std::string two = {static_cast<char>(pair >> 8), static_cast<char>(pair)};
            for (wchar_t c : ExpectedWide(cp, two)) {
                if (c > 0x7F && c != L'?' && c != L'\x30FB') filler.push_back(c);
            }
            filler.append(pair % 3, static_cast<wchar_t>(L'a' + pair % 26));
        }
        const wchar_t seams[] = {
            L'\x2603',                      // not in most pages: '?'
            static_cast<wchar_t>(0x1F600),  // outside the basic plane
            static_cast<wchar_t>(0xE0041),  // a tag
            L'\xD800', L'\xFEFF', L'\x200B',
            static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1),
        };
        for (wchar_t seam : seams) {
            for (std::size_t offset = 0; offset <= 40; ++offset) {
                const std::wstring text = filler.substr(0, offset) + seam + filler;
                ASSERT_EQ(Encoded(cp, text, offset % 3), ExpectedBytes(cp, text))
                    << "code page " << cp << ", unit " << std::hex << static_cast<std::uint32_t>(seam) << " at " << std::dec << offset;
                const std::wstring cut = filler.substr(0, offset) + seam;
                ASSERT_EQ(Encoded(cp, cut), ExpectedBytes(cp, cut)) << "code page " << cp;
            }
        }
    }
}

// Every pair and every code point again, now one after another in long
// texts, so that each meets the vector loops at several offsets of a block.
TEST(MbcsVectorSeams, EveryPairAndCodePointInLongTexts) {
    std::string pairs;
    for (unsigned pair = 0x8000; pair < 0x10000; ++pair) {
        pairs += static_cast<char>(pair >> 8);
        pairs += static_cast<char>(pair);
    }
    std::wstring points;
    for (std::uint32_t c = 0x80; c < 0x10000; ++c) points.push_back(static_cast<wchar_t>(c));
    for (unsigned cp : {949u, 51949u, 932u, 936u, 950u, 1252u, 1251u, 874u, 20127u}) {
        for (std::size_t shift : {0, 1, 7, 15, 63}) {
            const std::string bytes = std::string(shift, 'a') + pairs;
            ASSERT_EQ(Decoded(cp, bytes), ExpectedWide(cp, bytes)) << "code page " << cp << ", shift " << shift;
            const std::wstring wide = std::wstring(shift, L'a') + points;
            ASSERT_EQ(Encoded(cp, wide), ExpectedBytes(cp, wide)) << "code page " << cp << ", shift " << shift;
        }
    }
}

// A terminated text is converted in windows of its length found ahead of
// the conversion: what straddles the end of a window must come out as it
// does in one piece, in texts longer and shorter than a window.
template <typename Unit, typename Count, typename Convert,
          typename Out = std::conditional_t<std::is_same_v<Unit, char>, wchar_t, char>>
std::basic_string<Out> ThroughTerminated(const std::basic_string<Unit>& text, Count count, Convert convert) {
    const std::size_t n = count(text.c_str());
    std::vector<Out> buffer(n + 1, Out('Z'));
    EXPECT_EQ(convert(text.c_str(), buffer.data(), n), n);
    EXPECT_EQ(buffer[n], Out('Z')) << "written past the count";
    EXPECT_EQ(convert(text.c_str(), buffer.data(), n - 1), d::kMbcsOverflow);
    return std::basic_string<Out>(buffer.data(), n);
}

TEST(MbcsVectorSeams, TerminatedTextsAcrossWindows) {
    constexpr std::size_t kWindow = 1 << 14;
    for (unsigned cp : {949u, 932u, 1252u, 1258u}) {
        const std::string pair = cp == 949 ? "\xB0\xA1" : cp == 932 ? "\x88\x9F" : "\xE9\xE8";
        for (const std::string& seam : {std::string("\xA2\xE8xy"), pair.substr(0, 1) + " ", pair + pair.substr(0, 1) + "!",
                                       std::string("\x80\xFF")}) {
            for (std::size_t at = kWindow - 6; at <= kWindow + 2; ++at) {
                std::string text = std::string(at % 2, 'a');
                while (text.size() < at) text += pair;
                text.resize(at);
                text += seam;
                while (text.size() < 2 * kWindow + 100) text += pair + "bc";
                const std::wstring wide = ThroughTerminated(
                    text, [&](const char* s) { return d::MbcsToWideCountTerminated(cp, s); },
                    [&](const char* s, wchar_t* out, std::size_t room) { return d::MbcsToWideTerminated(cp, s, out, room); });
                ASSERT_EQ(wide, ExpectedWide(cp, text + '\0')) << "code page " << cp << ", seam at " << at;
                ASSERT_EQ(ThroughTerminated(
                              wide.substr(0, wide.size() - 1),
                              [&](const wchar_t* s) { return d::WideToMbcsCountTerminated(cp, s); },
                              [&](const wchar_t* s, char* out, std::size_t room) {
                                  return d::WideToMbcsTerminated(cp, s, out, room);
                              }),
                          ExpectedBytes(cp, wide))
                    << "code page " << cp << ", seam at " << at;
            }
        }
        // Short texts, and the empty one: only the terminator.
        EXPECT_EQ(d::MbcsToWideCountTerminated(cp, ""), 1u);
        EXPECT_EQ(d::WideToMbcsCountTerminated(cp, L""), 1u);
        EXPECT_EQ(d::MbcsToWideCountTerminated(cp, (pair + "a").c_str()), ExpectedWide(cp, pair + "a" + '\0').size());
    }
}

}  // namespace
