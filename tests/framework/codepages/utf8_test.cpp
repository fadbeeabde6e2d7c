// The UTF-8 converter's vector paths against its portable one, wherever an
// ill-formed sequence falls relative to the vector blocks. The vector paths
// exist on x86-64 outside Windows only (wchar_t holds UTF-32 there).
#include "framework/codepages/cpu_features.h"
#include "framework/codepages/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

#if BRIM_WIDE_VECTORS
namespace {

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

constexpr wchar_t kGuard = 0x5A5A5A;

std::size_t ConvertOn(VectorPath p, const std::string& t, wchar_t* out, std::size_t limit) {
    return brim::detail::Utf8ToWideConvertOn(p, t.data(), t.size(), out, limit);
}
std::size_t ConvertOn(VectorPath p, const std::wstring& t, char* out, std::size_t limit) {
    return brim::detail::WideToUtf8ConvertOn(p, t.data(), t.size(), out, limit);
}

// The result of text on one path; guards past the counted size catch stray stores.
std::wstring On(VectorPath path, const std::string& text) {
    const std::size_t count = brim::detail::Utf8ToWideCountOn(path, text.data(), text.size());
    std::wstring out(count + 24, kGuard);
    EXPECT_EQ(ConvertOn(path, text, out.data(), kNoLimit), count);
    EXPECT_EQ(out.find_first_not_of(kGuard, count), std::wstring::npos) << "written past the count";
    return out.substr(0, count);
}
std::string On(VectorPath path, const std::wstring& text) {
    const std::size_t count = brim::detail::WideToUtf8CountOn(path, text.data(), text.size());
    std::string out(count + 80, '\x5A');
    EXPECT_EQ(ConvertOn(path, text, out.data(), kNoLimit), count);
    EXPECT_EQ(out.find_first_not_of('\x5A', count), std::string::npos) << "written past the count";
    return out.substr(0, count);
}

// Every vector path gives the portable path's result, also into a buffer of
// exactly the count, and overflows one unit short of it.
template <typename Text>
void ExpectSame(const Text& text) {
    const auto expected = On(VectorPath::kPortable, text);
    for (VectorPath path : VectorPaths()) {
        SCOPED_TRACE(::testing::Message() << "path " << static_cast<int>(path) << ", " << text.size() << " units");
        ASSERT_EQ(On(path, text), expected);
        auto exact = expected + decltype(expected)(1, 0);
        EXPECT_EQ(ConvertOn(path, text, exact.data(), expected.size()), expected.size());
        if (!expected.empty()) {
            EXPECT_EQ(ConvertOn(path, text, exact.data(), expected.size() - 1), kOverflow);
        }
    }
}

// Korean with spaces and an ASCII word now and then, cut to n bytes (which
// may leave a sequence cut off at the end).
std::string MixedText(std::size_t n) {
    const std::string piece = "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 abc \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 \xEC\x84\x9C\xEC\x9A\xB8\n";
    std::string text;
    while (text.size() < n) text += piece;
    return text.substr(0, n);
}

const char* const kIllFormed[] = {
    "\x80",               // stray continuation
    "\xBF\xBF",           // two of them
    "\xC0\xAF",           // C0 never starts a sequence
    "\xC1",               // nor C1
    "\xE0\x80\x80",       // overlong three-byte form
    "\xED\xA0\x80",       // encoded surrogate
    "\xF0\x80\x80\x80",   // overlong four-byte form
    "\xF4\x90\x80\x80",   // past U+10FFFF
    "\xF5\x80",           // F5..FF never occur
    "\xFF",
    "\xE2\x82",           // cut short by what follows
    "\xF0\x9F\x98",
    "\xC3",
};

TEST(Utf8Paths, IllFormedSequencesAtEveryOffsetAroundTheBlocks) {
    for (const std::string& base : {std::string(200, 'a'), MixedText(200)}) {
        for (const char* bad : kIllFormed) {
            for (std::size_t at = 0; at <= 140; ++at) {
                std::string text = base;
                text.insert(at, bad);
                ExpectSame(text);
            }
        }
    }
}

// Each chunk must be judged after the chunk right before it. Here the chunk
// two back ends in a lead whose continuations open the next chunk, so a
// check against the wrong predecessor would pass the ill-formed sequence
// that crosses the seam.
TEST(Utf8Paths, EachSeamIsCheckedAgainstItsOwnPredecessor) {
    const struct {
        const char* good;   // a lead and its continuations, crossing one seam
        const char* bad;    // a lead whose sequence crosses the next seam
    } cases[] = {{"\xE3\x80\x80", "\xE0\x80\x80"}, {"\xE3\x80\x80", "\xED\xA0\x80"},
                 {"\xF3\x80\x80\x80", "\xF4\x90\x80\x80"}, {"\xF3\x80\x80\x80", "\xF0\x80\x80\x80"},
                 {"\xC3\xA9", "\xC0\x80"}};
    for (const auto& c : cases) {
        for (std::size_t seam = 128; seam <= 448; seam += 64) {
            std::string text(600, 'a');
            text.replace(seam - 65, std::strlen(c.good), c.good);
            text.replace(seam - 1, std::strlen(c.bad), c.bad);
            ExpectSame(text);
        }
    }
}

TEST(Utf8Paths, EveryLengthAndCutOffEnds) {
    for (std::size_t n = 0; n <= 200; ++n) {
        ExpectSame(MixedText(n));
        ExpectSame(std::string(n, 'x'));
        std::string trailing(n, 'y');
        trailing += "\xF0\x9F\x98";   // a four-byte sequence without its last byte
        ExpectSame(trailing);
    }
}

// ASCII is widened by whole cache lines of output, shared at a run's ends with
// the units around it, and long texts are streamed: at every output alignment
// nothing before or after the units is touched.
void ExpectSameDecodingAtEveryAlignment(const std::string& text) {
    constexpr std::size_t kBefore = 32;
    const std::wstring expected = On(VectorPath::kPortable, text);
    for (VectorPath path : VectorPaths()) {
        for (std::size_t shift = 0; shift < 16; ++shift) {
            SCOPED_TRACE(::testing::Message() << "path " << static_cast<int>(path) << ", " << text.size() << " bytes, shift " << shift);
            std::vector<wchar_t> buffer(kBefore + shift + expected.size() + 32, kGuard);
            wchar_t* out = buffer.data() + kBefore + shift;
            ASSERT_EQ(brim::detail::Utf8ToWideConvertOn(path, text.data(), text.size(), out, kNoLimit), expected.size());
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), out));
            for (wchar_t* p = buffer.data(); p != out; ++p) ASSERT_EQ(*p, kGuard) << "written before the output";
            for (std::size_t k = expected.size(); out + k != buffer.data() + buffer.size(); ++k) {
                ASSERT_EQ(out[k], kGuard) << "written past the output";
            }
        }
    }
}

TEST(Utf8Paths, AsciiIsWidenedAtEveryOutputAlignment) {
    for (std::size_t lead = 0; lead <= 16; ++lead) {
        // lead two-byte characters shift the output against the input.
        std::string text;
        for (std::size_t k = 0; k < lead; ++k) text += "\xC3\xA9";
        ExpectSameDecodingAtEveryAlignment(text + std::string(700, 'w') + "\xEC\x84\x9C" + std::string(300, 'z'));
    }
    // Long enough to be streamed: ASCII runs of every length up to a few
    // chunks, each ended by a character of one to four bytes.
    std::mt19937 rng(7);
    const char* const ends[] = {"\xC3\xA9", "\xEC\x84\x9C", "\xF0\x9F\x98\x80", "\x80"};
    std::string text;
    while (text.size() < (2u << 20)) text += std::string(rng() % 300, 'a' + static_cast<char>(rng() % 26)) + ends[rng() % 4];
    ExpectSameDecodingAtEveryAlignment(text);
}

TEST(Utf8Paths, KnownResultsAcrossABlockBoundary) {
    const std::wstring r(1, wchar_t(0xFFFD));
    for (VectorPath path : VectorPaths()) {
        // The surrogate's lead, its second byte and its third: three substitutions.
        EXPECT_EQ(On(path, std::string(63, 'a') + "\xED\xA0\x80" + std::string(100, 'b')),
                  std::wstring(63, L'a') + r + r + r + std::wstring(100, L'b'));
        // A well-formed sequence split by the block edge stays whole.
        EXPECT_EQ(On(path, std::string(62, 'a') + "\xF0\x9F\x98\x80" + std::string(100, 'b')),
                  std::wstring(62, L'a') + wchar_t(0x1F600) + std::wstring(100, L'b'));
        std::string hangul;
        for (int k = 0; k < 40; ++k) hangul += "\xED\x95\x9C";
        EXPECT_EQ(On(path, std::wstring(40, L'a') + wchar_t(0xDC00) + std::wstring(40, wchar_t(0xD55C))),
                  std::string(40, 'a') + "\xEF\xBF\xBD" + hangul);
    }
}

TEST(Utf8Paths, RandomTextsMatchThePortablePath) {
    std::mt19937 rng(20240611);
    const char* const pieces[] = {"a", " ", "\xEB\x8C\x80", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF",
                                  "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEF\xBF\xBF", "\xF0\x90\x80\x80"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const std::size_t size = rng() % 400;
        while (text.size() < size) text += pieces[rng() % std::size(pieces)];
        // Every other text gets bytes of any value at a few places.
        for (int k = 0; k < 3 && round % 2 == 1 && !text.empty(); ++k) text[rng() % text.size()] = static_cast<char>(rng());
        ExpectSame(text);
    }
}

TEST(Utf8Paths, WideTextWithSurrogatesAndOutOfRangeValues) {
    const wchar_t odd[] = {wchar_t(0xD800), wchar_t(0xDBFF), wchar_t(0xDC00), wchar_t(0xDFFF), wchar_t(0x110000),
                           static_cast<wchar_t>(-1), wchar_t(0x7FFFFFFF), wchar_t(0x10FFFF), wchar_t(0xFFFF), wchar_t(0x80),
                           wchar_t(0x7FF), wchar_t(0x800)};
    for (std::size_t n = 0; n <= 200; ++n) {
        ExpectSame(std::wstring(n, wchar_t(0xD55C)));
        ExpectSame(std::wstring(n, L'q'));
        for (wchar_t c : odd) {
            for (wchar_t around : {L'a', wchar_t(0xAC00)}) {
                std::wstring text(70, around);
                if (n >= text.size()) break;
                text[n] = c;
                ExpectSame(text);
            }
        }
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::wstring text(rng() % 150, L'\0');
        for (wchar_t& c : text) {
            const unsigned kind = rng() % 8;
            c = static_cast<wchar_t>(kind < 3 ? rng() % 0x80 : kind < 6 ? 0xAC00 + rng() % 11172 : kind == 6 ? rng() % 0x110000 : rng());
        }
        ExpectSame(text);
    }
}

}  // namespace
#endif

namespace {

// The terminated text's count and conversion are those of the whole text
// with its terminator, and nothing is written past the capacity.
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

// A terminated text is converted in blocks of 32 KiB; whatever falls on a
// block's end, the result is that of the whole text at once.
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
// Finding a text's end reads ahead by whole lines; the pages around the text
// are unreadable, so any read beyond it faults, wherever in its line it ends.
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
