// The UTF-8 converter's vector paths (x86-64 outside Windows) against its portable one, wherever bad input falls.
#include "tests/support/suite.h"
#include "framework/codepages/cpu_features.h"
#include "framework/codepages/utf8.h"

#include <algorithm>
#include <random>
#include <type_traits>

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

#if BRIM_WIDE_VECTORS
namespace {

namespace b = brim::detail;
using brim::detail::VectorPath;
using brim::detail::kNoLimit;
using brim::detail::kOverflow;

std::vector<VectorPath> VectorPaths() {
    std::vector<VectorPath> paths;
    for (VectorPath p : {VectorPath::kAvx2, VectorPath::kAvx512}) {
        if (p <= brim::detail::BestVectorPath()) paths.push_back(p);
    }
    return paths;
}

// Both directions under one set of names: count and convert on a path.
auto ApiOf(const std::string&) { return std::pair(&b::Utf8ToWideCountOn, &b::Utf8ToWideConvertOn); }
auto ApiOf(const std::wstring&) { return std::pair(&b::WideToUtf8CountOn, &b::WideToUtf8ConvertOn); }

// The result of text on one path, written shift units into its buffer; guards around it catch stray stores.
template <typename Text, typename Out = std::conditional_t<std::is_same_v<Text, std::string>, wchar_t, char>>
std::basic_string<Out> On(VectorPath path, const Text& text, std::size_t shift = 0) {
    const Out guard = static_cast<Out>(sizeof(Out) == 1 ? 0x5A : 0x5A5A5A);
    const auto [countOn, convertOn] = ApiOf(text);
    const std::size_t count = countOn(path, text.data(), text.size());
    std::basic_string<Out> buffer(32 + shift + count + 80, guard);
    Out* out = buffer.data() + 32 + shift;
    EXPECT_EQ(convertOn(path, text.data(), text.size(), out, kNoLimit), count);
    EXPECT_TRUE(std::all_of(buffer.data(), out, [&](Out u) { return u == guard; })) << "written before the output";
    EXPECT_EQ(buffer.find_first_not_of(guard, 32 + shift + count), buffer.npos) << "written past the count";
    return std::basic_string<Out>(out, count);
}

// Every vector path gives the portable result, also into a buffer of exactly its size, and overflows one unit short.
template <typename Text>
void ExpectSame(const Text& text) {
    const auto expected = On(VectorPath::kPortable, text);
    for (VectorPath path : VectorPaths()) {
        SCOPED_TRACE(::testing::Message() << "path " << static_cast<int>(path) << ", " << text.size() << " units");
        ASSERT_EQ(On(path, text), expected);
        auto exact = expected + decltype(expected)(1, 0);
        const auto convertOn = ApiOf(text).second;
        EXPECT_EQ(convertOn(path, text.data(), text.size(), exact.data(), expected.size()), expected.size());
        if (!expected.empty()) {
            EXPECT_EQ(convertOn(path, text.data(), text.size(), exact.data(), expected.size() - 1), kOverflow);
        }
    }
}

// Korean, ASCII and a smiley, cut to n bytes (perhaps inside a sequence).
std::string MixedText(std::size_t n) {
    const std::string piece = "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 abc \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 \xEC\x84\x9C\xEC\x9A\xB8\n";
    std::string text;
    while (text.size() < n) text += piece;
    return text.substr(0, n);
}

// Ill-formed sequences of every kind, and the well-formed ones at the edges of their ranges.
const char* const kEdges[] = {"\x80",         "\xBF\xBF",         "\xC0\xAF",         "\xC1",         "\xE0\x80\x80",
                              "\xED\xA0\x80", "\xF0\x80\x80\x80", "\xF4\x90\x80\x80", "\xF5\x80",     "\xFF",
                              "\xE2\x82",     "\xF0\x9F\x98",     "\xC3",             "\xDF\xBF",     "\xE0\xA0\x80",
                              "\xED\x9F\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"};

TEST(Utf8Paths, IllFormedSequencesAtEveryOffsetAndTextsOfEveryLength) {
    for (std::size_t n = 0; n <= 200; ++n) {
        ExpectSame(MixedText(n));
        ExpectSame(std::string(n, 'x'));
        ExpectSame(std::string(n, 'y') + "\xF0\x9F\x98");   // a four-byte sequence without its last byte
        ExpectSame(std::wstring(n, wchar_t(0xD55C)));
        ExpectSame(std::wstring(n, L'q'));
    }
    for (const std::string& base : {std::string(200, 'a'), MixedText(200)}) {
        for (const char* bad : kEdges) {
            for (std::size_t at = 0; at <= 140; ++at) ExpectSame(std::string(base).insert(at, bad));
        }
    }
    // A good sequence across one seam and a bad one across the next: a check against the chunk two back passes it.
    const std::pair<std::string, std::string> seams[] = {
        {"\xE3\x80\x80", "\xE0\x80\x80"}, {"\xE3\x80\x80", "\xED\xA0\x80"}, {"\xF3\x80\x80\x80", "\xF4\x90\x80\x80"},
        {"\xF3\x80\x80\x80", "\xF0\x80\x80\x80"}, {"\xC3\xA9", "\xC0\x80"}};
    for (const auto& [good, bad] : seams) {
        for (std::size_t seam = 128; seam <= 448; seam += 64) {
            ExpectSame(std::string(600, 'a').replace(seam - 65, good.size(), good).replace(seam - 1, bad.size(), bad));
        }
    }
}

// ASCII is widened by whole cache lines and long texts are streamed: at every output alignment nothing else is touched.
void ExpectSameDecodingAtEveryAlignment(const std::string& text) {
    const std::wstring expected = On(VectorPath::kPortable, text);
    for (VectorPath path : VectorPaths()) {
        for (std::size_t shift = 0; shift < 16; ++shift) {
            ASSERT_TRUE(On(path, text, shift) == expected) << "path " << static_cast<int>(path) << ", shift " << shift;
        }
    }
}

TEST(Utf8Paths, AsciiIsWidenedAtEveryOutputAlignment) {
    for (std::size_t lead = 0; lead <= 16; ++lead) {
        std::string text;   // lead two-byte characters shift the output against the input
        for (std::size_t k = 0; k < lead; ++k) text += "\xC3\xA9";
        ExpectSameDecodingAtEveryAlignment(text + std::string(700, 'w') + "\xEC\x84\x9C" + std::string(300, 'z'));
    }
    // Long enough to be streamed: ASCII runs of any length, each ended by a sequence of one to four bytes.
    std::mt19937 rng(7);
    const char* const ends[] = {"\xC3\xA9", "\xEC\x84\x9C", "\xF0\x9F\x98\x80", "\x80"};
    std::string text;
    while (text.size() < (2u << 20)) text += std::string(rng() % 300, 'a' + static_cast<char>(rng() % 26)) + ends[rng() % 4];
    ExpectSameDecodingAtEveryAlignment(text);
}

// Known results on every path across a block's end: surrogates substituted, split sequences kept whole.
TEST(Utf8Paths, KnownResultsAcrossABlockBoundary) {
    const std::wstring r(1, wchar_t(0xFFFD));
    std::string hangul;
    for (int k = 0; k < 40; ++k) hangul += "\xED\x95\x9C";
    std::vector<VectorPath> paths = VectorPaths();
    paths.push_back(VectorPath::kPortable);
    for (VectorPath path : paths) {
        EXPECT_EQ(On(path, std::string(63, 'a') + "\xED\xA0\x80" + std::string(100, 'b')),
                  std::wstring(63, L'a') + r + r + r + std::wstring(100, L'b'));
        EXPECT_EQ(On(path, std::string(62, 'a') + "\xF0\x9F\x98\x80" + std::string(100, 'b')),
                  std::wstring(62, L'a') + wchar_t(0x1F600) + std::wstring(100, L'b'));
        EXPECT_EQ(On(path, std::wstring(40, L'a') + wchar_t(0xDC00) + std::wstring(40, wchar_t(0xD55C))),
                  std::string(40, 'a') + "\xEF\xBF\xBD" + hangul);
    }
}

// Surrogates and values past U+10FFFF in wide text, at every offset around the blocks.
TEST(Utf8Paths, WideTextWithSurrogatesAndOutOfRangeValues) {
    for (std::uint32_t c : {0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu, 0x110000u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x10FFFFu, 0xFFFFu,
                            0x10000u, 0x7Fu, 0x80u, 0x7FFu, 0x800u}) {
        for (wchar_t around : {L'a', wchar_t(0xAC00)}) {
            for (std::size_t at = 0; at < 70; ++at) {
                std::wstring text(70, around);
                text[at] = static_cast<wchar_t>(c);
                ExpectSame(text);
            }
        }
    }
}

}  // namespace
#endif

namespace {

// The terminated text's count and conversion are those of the text with its NUL; nothing lands past the capacity.
void ExpectTerminatedAsWhole(const char* text, std::size_t length) {
    const std::size_t whole = brim::detail::Utf8ToWideCount(text, length + 1);
    std::size_t bytes = 0;
    ASSERT_EQ(brim::detail::Utf8ToWideCountTerminated(text, bytes), whole);
    ASSERT_EQ(bytes, length + 1);
    std::vector<wchar_t> expected(whole), got(whole + 8, L'#');
    brim::detail::Utf8ToWideConvert(text, length + 1, expected.data());
    ASSERT_EQ(brim::detail::Utf8ToWideConvertTerminated(text, got.data(), whole), whole);
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), got.begin()));
    ASSERT_EQ(got[whole], L'#') << "written past the capacity";
    ASSERT_EQ(brim::detail::Utf8ToWideConvertTerminated(text, got.data(), whole - 1), brim::detail::kOverflow);
}

}  // namespace

// A file name of any bytes comes back byte for byte, and a well-formed one reads as the converter reads it.
TEST(Utf8Names, AnyBytesComeBackAndWellFormedNamesReadAsText) {
    namespace b = brim::detail;
    const std::string pieces[] = {"a", "\xC3\xA9", "\xED\x95\x9C", "\xF0\x9F\x98\x80", "\xEF\xBF\xBD", "\xED\xA0\x80",
                                  "\xC0\xAF", "\xE0\x80", "\xF4\x90\x80\x80", "\x80", "\xFF", "\xC3", "\xF0\x9F\x98", "\\"};
    std::mt19937 random(11);
    for (int round = 0; round < 20000; ++round) {
        std::string name;
        for (int k = static_cast<int>(random() % 6); k >= 0; --k) name += pieces[random() % std::size(pieces)];
        const std::wstring wide = b::Utf8NameToWide(name.data(), name.size());
        ASSERT_EQ(b::WideNameToUtf8(wide.data(), wide.size()), name) << round;
        std::wstring text(b::Utf8ToWideCount(name.data(), name.size()), L'\0');
        b::Utf8ToWideConvert(name.data(), name.size(), text.data());
        // Ill-formed where the converter substitutes more U+FFFD than the name spells.
        std::size_t spelled = 0;
        for (std::size_t at = name.find("\xEF\xBF\xBD"); at != std::string::npos; at = name.find("\xEF\xBF\xBD", at + 3)) ++spelled;
        const auto substituted = static_cast<std::size_t>(std::count(text.begin(), text.end(), L'\xFFFD'));
        const bool escaped = std::any_of(wide.begin(), wide.end(), [](wchar_t c) { return c >= 0xDC80 && c <= 0xDCFF; });
        ASSERT_EQ(escaped, substituted > spelled) << round;
        if (!escaped) {
            ASSERT_EQ(wide, text) << round;
        }
    }
    // Each bad byte on its own, U+FFFD as itself, and units with no UTF-8 form that are no name's byte.
    EXPECT_EQ(b::Utf8NameToWide("\xE0\x80x\xEF\xBF\xBD", 6), std::wstring(L"\xDCE0\xDC80x\xFFFD"));
    const wchar_t madeUp[] = {0xD800, L'/', 0xDC7F, 0xDD00, 0xDCFF};
    EXPECT_EQ(b::WideNameToUtf8(madeUp, 5), "\xEF\xBF\xBD/\xEF\xBF\xBD\xEF\xBF\xBD\xFF");
}

// A terminated text is converted in blocks of 32 KiB; whatever falls on a block's end comes out as in one piece.
TEST(Utf8Terminated, BlocksDecodeAsTheWholeText) {
    constexpr std::size_t kBlock = 32 * 1024;
    const std::string pieces[] = {"\xED\x95\x9C", "\xF0\x9F\x98\x80", "\xC3\xA9", "\x80\x80\x80\x80\x80", "\xE0\x80",
                                  "\xF0\x9F\x98", "\xC3", "\xFF", "z"};
    for (const std::string& piece : pieces) {
        for (std::size_t at = kBlock - 6; at <= kBlock + 2; ++at) {
            for (std::size_t size : {kBlock, kBlock * 3 + 5}) {
                if (at + piece.size() > size) continue;
                std::string text(size, 'a');
                text.replace(at, piece.size(), piece);
                for (std::size_t k = 2 * kBlock - 4; k < 2 * kBlock + 4 && k < text.size(); ++k) text[k] = '\x80';
                SCOPED_TRACE(::testing::Message() << "piece of " << piece.size() << " at " << at << ", " << size << " bytes");
                ExpectTerminatedAsWhole(text.c_str(), text.size());
            }
        }
    }
}

#if !defined(_WIN32)
// Finding a text's end reads ahead by whole lines; the pages around the text fault on any read beyond it.
TEST(Utf8Terminated, TextsNextToAnUnreadablePage) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* map = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    char* readable = static_cast<char*>(map) + page;
    ASSERT_EQ(mprotect(map, page, PROT_NONE), 0);
    ASSERT_EQ(mprotect(readable + page, page, PROT_NONE), 0);
    const std::string korean = "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 ";
    for (std::size_t length = 0; length < 700; ++length) {
        for (const bool ascii : {true, false}) {
            std::string body;
            while (body.size() < length) body += ascii ? std::string("plain ") : korean;
            body.resize(length);   // may cut a sequence: the end must still be found
            for (char* text : {readable + page - length - 1, readable}) {
                SCOPED_TRACE(::testing::Message() << length << " bytes, " << (ascii ? "ASCII" : "Korean")
                                                  << (text == readable ? ", at the page's start" : ", to the page's end"));
                std::memcpy(text, body.c_str(), length + 1);
                ExpectTerminatedAsWhole(text, length);
            }
        }
    }
    munmap(map, 3 * page);
}
#endif
