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

// The library's result, its count, and what a buffer one unit short gives.
std::wstring Decoded(unsigned cp, const std::string& bytes) {
    const std::size_t count = d::MbcsToWideCount(cp, bytes.data(), bytes.size());
    std::vector<wchar_t> buffer(count + 1, L'\x5A5A');
    const std::size_t done = d::MbcsToWide(cp, bytes.data(), bytes.size(), buffer.data(), count);
    EXPECT_EQ(done, count) << "code page " << cp;
    EXPECT_EQ(buffer[count], L'\x5A5A') << "written past the count";
    if (count > 0) {
        EXPECT_EQ(d::MbcsToWide(cp, bytes.data(), bytes.size(), buffer.data(), count - 1), d::kMbcsOverflow);
    }
    return std::wstring(buffer.data(), std::min(done, count));
}

std::string Encoded(unsigned cp, const std::wstring& wide) {
    const std::size_t count = d::WideToMbcsCount(cp, wide.data(), wide.size());
    std::vector<char> buffer(count + 1, 'Z');
    const std::size_t done = d::WideToMbcs(cp, wide.data(), wide.size(), buffer.data(), count);
    EXPECT_EQ(done, count) << "code page " << cp;
    EXPECT_EQ(buffer[count], 'Z') << "written past the count";
    if (count > 0) {
        EXPECT_EQ(d::WideToMbcs(cp, wide.data(), wide.size(), buffer.data(), count - 1), d::kMbcsOverflow);
    }
    return std::string(buffer.data(), std::min(done, count));
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

}  // namespace
