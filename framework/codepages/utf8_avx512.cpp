#include "framework/codepages/utf8_vectors.h"

#if BRIM_WIDE_VECTORS
// GCC 12 takes the undefined sources of its AVX-512 intrinsics for
// uninitialized values once they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <cstdint>

#define BRIM_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi2,popcnt")))

namespace brim::detail::avx512 {
namespace {

// A UTF-8 chunk reads the 64 bytes after it too. Stores are masked to what
// is written.

struct ByteTable {
    alignas(64) unsigned char at[64];
};

// Byte j takes byte j - shift of the second vector, counting into the first
// (the one before) for j < shift.
constexpr ByteTable MakeShiftIndex(int shift) {
    ByteTable t{};
    for (int j = 0; j < 64; ++j) t.at[j] = static_cast<unsigned char>(64 + j - shift);
    return t;
}
constexpr ByteTable kEarlier1 = MakeShiftIndex(1), kEarlier2 = MakeShiftIndex(2), kEarlier3 = MakeShiftIndex(3);

constexpr ByteTable MakeIota() {
    ByteTable t{};
    for (int j = 0; j < 64; ++j) t.at[j] = static_cast<unsigned char>(j);
    return t;
}
constexpr ByteTable kIota = MakeIota();

// Lane j of group g: the (16g + j)th byte position, in all four bytes...
constexpr ByteTable MakeSpread(int group) {
    ByteTable t{};
    for (int j = 0; j < 64; ++j) t.at[j] = static_cast<unsigned char>(16 * group + j / 4);
    return t;
}
constexpr ByteTable kSpread[4] = {MakeSpread(0), MakeSpread(1), MakeSpread(2), MakeSpread(3)};
// ...plus 3, 2, 1, 0: the byte there and the three after it, the first in
// the top byte.
constexpr ByteTable MakeFollowing() {
    ByteTable t{};
    for (int j = 0; j < 64; ++j) t.at[j] = static_cast<unsigned char>(3 - j % 4);
    return t;
}
constexpr ByteTable kFollowing = MakeFollowing();

BRIM_AVX512 inline __m512i LoadTable(const ByteTable& t) { return _mm512_load_si512(t.at); }

// A 16-byte table in each 128-bit lane.
BRIM_AVX512 inline __m512i EachLane(__m128i table) { return _mm512_broadcast_i32x4(table); }

BRIM_AVX512 inline __m512i Nibbles(char a0, char a1, char a2, char a3, char a4, char a5, char a6, char a7, char a8,
                                   char a9, char a10, char a11, char a12, char a13, char a14, char a15) {
    return EachLane(_mm_setr_epi8(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15));
}

// Error classes of a byte and the one before it (the same scheme as the AVX2
// loop): three nibble lookups whose bits must all agree.
constexpr char kTooShort = 0x01, kTooLong = 0x02, kOverlong2 = 0x04, kOverlong3 = 0x08, kSurrogate = 0x10,
               kOverlong4 = 0x20, kTooLarge = 0x40, kTwoConts = char(0x80);

// Nonzero bytes where the 64 bytes of cur break a rule of UTF-8 after the 64
// of prev (a sequence cut by the end of cur passes: the next chunk checks its
// rest).
BRIM_AVX512 inline __m512i Errors(__m512i cur, __m512i prev) {
    const __m512i p1 = _mm512_permutex2var_epi8(prev, LoadTable(kEarlier1), cur);
    const __m512i p2 = _mm512_permutex2var_epi8(prev, LoadTable(kEarlier2), cur);
    const __m512i p3 = _mm512_permutex2var_epi8(prev, LoadTable(kEarlier3), cur);
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    constexpr char kLead = kTooShort, kTail = kTooShort | kTooLong | kTwoConts, kCont = kTooLong | kOverlong2 | kTwoConts;
    const __m512i byHigh = Nibbles(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                                   kTwoConts, kTwoConts, kTwoConts, kTwoConts, kLead | kOverlong2, kLead,
                                   kLead | kOverlong3 | kSurrogate, kLead | kOverlong4 | kTooLarge);
    const __m512i byLow = Nibbles(kTail | kOverlong2 | kOverlong3 | kOverlong4, kTail | kOverlong2, kTail, kTail,
                                  kTail | kTooLarge, kTail, kTail, kTail, kTail, kTail, kTail, kTail, kTail,
                                  kTail | kSurrogate, kTail, kTail);
    const __m512i byNext = Nibbles(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                                   kTooShort, kCont | kOverlong3 | kOverlong4, kCont | kOverlong3 | kTooLarge,
                                   kCont | kSurrogate | kTooLarge, kCont | kSurrogate | kTooLarge, kTooShort,
                                   kTooShort, kTooShort, kTooShort);
    const __m512i pairs = _mm512_ternarylogic_epi32(
        _mm512_shuffle_epi8(byHigh, _mm512_and_si512(_mm512_srli_epi16(p1, 4), nibble)),
        _mm512_shuffle_epi8(byLow, _mm512_and_si512(p1, nibble)),
        _mm512_shuffle_epi8(byNext, _mm512_and_si512(_mm512_srli_epi16(cur, 4), nibble)), 0x80);   // a & b & c
    // Bit 7 where this byte must be the 3rd or 4th of a sequence.
    const __m512i deep = _mm512_and_si512(
        _mm512_or_si512(_mm512_subs_epu8(p2, _mm512_set1_epi8(0x60)), _mm512_subs_epu8(p3, _mm512_set1_epi8(0x70))),
        _mm512_set1_epi8(char(0x80)));
    const __m512i never = _mm512_subs_epu8(cur, _mm512_set1_epi8(char(0xF4)));   // F5..FF
    return _mm512_ternarylogic_epi32(pairs, deep, never, 0xBE);     // (a ^ b) | c
}

BRIM_AVX512 inline bool WellFormed(__m512i cur, __m512i prev) {
    const __m512i errors = Errors(cur, prev);
    return _mm512_test_epi8_mask(errors, errors) == 0;
}

BRIM_AVX512 inline std::uint64_t Starts(__m512i cur) {
    return _mm512_cmpgt_epi8_mask(cur, _mm512_set1_epi8(-65));   // not 80..BF
}

BRIM_AVX512 inline __m512i WidenSixteen(const unsigned char* p) {
    return _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// ASCII output is four times its input, so its stores set the pace. They go
// by whole cache lines (a store that straddles two lines costs as much as
// two): a chunk's units start skew units into a line, and the line is loaded
// from skew bytes before the chunk. The units a run of ASCII chunks leaves in
// its last line wait for the next chunk, which stores that line whole (its
// first skew units are the widened bytes before it, as the chunk before was
// ASCII too); when the run ends, CloseLine stores them. An output far larger
// than the caches is streamed past them: it would only push the text (and
// the host's other data) out on its way to memory.
struct AsciiLines {
    bool open = false;     // the line out is in holds units still to be stored
    bool stream = false;
};

BRIM_AVX512 inline unsigned Skew(const wchar_t* out) {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(out) % 64 / sizeof(wchar_t));
}

BRIM_AVX512 inline void StoreLine(wchar_t* line, __m512i units, bool stream) {
    if (stream) {
        _mm512_stream_si512(reinterpret_cast<__m512i*>(line), units);
    } else {
        _mm512_storeu_si512(line, units);
    }
}

// Widens the 64 ASCII bytes at p to out; p and out have a step before them.
BRIM_AVX512 inline void WidenAscii(const unsigned char* p, wchar_t* out, AsciiLines& lines) {
    const unsigned skew = Skew(out);
    wchar_t* line = out - skew;
    const unsigned char* from = p - skew;
    if (lines.open || skew == 0) {
        StoreLine(line, WidenSixteen(from), lines.stream);
    } else {
        _mm512_mask_storeu_epi32(line, static_cast<__mmask16>(0xFFFFu << skew), WidenSixteen(from));
    }
    for (int k = 1; k < 4; ++k) StoreLine(line + 16 * k, WidenSixteen(from + 16 * k), lines.stream);
    lines.open = true;
}

// Stores the units the last ASCII chunk, ending at p and out, left in its line.
BRIM_AVX512 inline void CloseLine(const unsigned char* p, wchar_t* out, AsciiLines& lines) {
    if (!lines.open) return;
    lines.open = false;
    const unsigned skew = Skew(out);
    if (skew != 0) _mm512_mask_storeu_epi32(out - skew, static_cast<__mmask16>((1u << skew) - 1), WidenSixteen(p - skew));
}

// The same without stepping back, for the first chunk.
BRIM_AVX512 inline void WidenAsciiUnaligned(const unsigned char* p, wchar_t* out) {
    for (int k = 0; k < 4; ++k) _mm512_storeu_si512(out + 16 * k, WidenSixteen(p + 16 * k));
}

// Decodes the characters that start in cur (next holds the 64 bytes after,
// where the last ones end), 16 at a time: their positions are gathered first,
// then their bytes. Returns the units written.
BRIM_AVX512 inline std::size_t DecodeChunk(__m512i cur, __m512i next, std::uint64_t starts, wchar_t* out) {
    // By the lead's high nibble: shifting left drops its marker bits, shifting
    // right then drops the bytes that are not part of the character.
    const __m512i leftShift = _mm512_setr_epi32(7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9, 9, 10, 11);
    const __m512i rightShift = _mm512_setr_epi32(25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 21, 21, 16, 11);
    const __m512i positions = _mm512_maskz_compress_epi8(starts, LoadTable(kIota));
    const auto total = static_cast<std::size_t>(__builtin_popcountll(starts));
    for (std::size_t g = 0; 16 * g < total; ++g) {
        const __m512i at = _mm512_add_epi8(_mm512_permutexvar_epi8(LoadTable(kSpread[g]), positions), LoadTable(kFollowing));
        const __m512i word = _mm512_permutex2var_epi8(cur, at, next);
        // lead << 18 | c1 << 12 | c2 << 6 | c3, continuation bits stripped.
        const __m512i joined = _mm512_madd_epi16(
            _mm512_maddubs_epi16(_mm512_and_si512(word, _mm512_set1_epi32(static_cast<int>(0xFF3F3F3Fu))),
                                 _mm512_set1_epi32(0x40014001)),
            _mm512_set1_epi32(0x10000001));
        const __m512i nibble = _mm512_srli_epi32(word, 28);
        const __m512i code = _mm512_srlv_epi32(_mm512_sllv_epi32(joined, _mm512_permutexvar_epi32(nibble, leftShift)),
                                               _mm512_permutexvar_epi32(nibble, rightShift));
        const std::size_t left = total - 16 * g;
        _mm512_mask_storeu_epi32(out + 16 * g, static_cast<__mmask16>(left >= 16 ? 0xFFFF : (1u << left) - 1), code);
    }
    return total;
}

// Lone surrogates and values past U+10FFFF become U+FFFD.
BRIM_AVX512 inline __m512i Substituted(__m512i c) {
    const __mmask16 inRange = _mm512_cmple_epu32_mask(c, _mm512_set1_epi32(0x10FFFF));
    const __mmask16 good = _mm512_mask_cmpneq_epi32_mask(
        inRange, _mm512_and_si512(c, _mm512_set1_epi32(static_cast<int>(0xFFFFF800u))), _mm512_set1_epi32(0xD800));
    return _mm512_mask_blend_epi32(good, _mm512_set1_epi32(0xFFFD), c);
}

// Sixteen code points (already substituted) to UTF-8.
BRIM_AVX512 inline char* EncodeSixteen(__m512i c, char* out) {
    const __mmask16 two = _mm512_cmpgt_epu32_mask(c, _mm512_set1_epi32(0x7F));
    const __mmask16 three = _mm512_cmpgt_epu32_mask(c, _mm512_set1_epi32(0x7FF));
    const __mmask16 four = _mm512_cmpgt_epu32_mask(c, _mm512_set1_epi32(0xFFFF));
    // 6-bit groups one to a byte, lowest group lowest, with the marker bits of
    // the length (C080, E08080 or F0808080)...
    // (a & c) | (b & ~c): bytes from a where c is set, from b elsewhere.
    constexpr int kSelect = 0xE4;
    __m512i groups = _mm512_ternarylogic_epi32(c, _mm512_slli_epi32(c, 2), _mm512_set1_epi32(0xFF), kSelect);
    groups = _mm512_ternarylogic_epi32(groups, _mm512_slli_epi32(c, 4), _mm512_set1_epi32(0xFFFF), kSelect);
    groups = _mm512_ternarylogic_epi32(groups, _mm512_slli_epi32(c, 6), _mm512_set1_epi32(0xFFFFFF), kSelect);
    __m512i markers = _mm512_maskz_mov_epi32(two, _mm512_set1_epi32(0xC080));
    markers = _mm512_mask_xor_epi32(markers, three, markers, _mm512_set1_epi32(0xE04000));
    markers = _mm512_mask_xor_epi32(markers, four, markers, _mm512_set1_epi32(static_cast<int>(0xF0600000u)));
    const __m512i grouped = _mm512_ternarylogic_epi32(groups, _mm512_set1_epi32(0x3F3F3F3F), markers, 0xEA);   // (a & b) | c
    const __m512i encoded = _mm512_mask_blend_epi32(two, c, grouped);
    // ...turned round so the first byte comes first; a lane keeps its top
    // length bytes.
    const __m512i reversed = _mm512_shuffle_epi8(
        encoded, EachLane(_mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12)));
    __m512i kept = _mm512_set1_epi32(static_cast<int>(0x80000000u));
    kept = _mm512_mask_or_epi32(kept, two, kept, _mm512_set1_epi32(0x00800000));
    kept = _mm512_mask_or_epi32(kept, three, kept, _mm512_set1_epi32(0x00008000));
    kept = _mm512_mask_or_epi32(kept, four, kept, _mm512_set1_epi32(0x00000080));
    const __mmask64 keep = _mm512_movepi8_mask(kept);
    const auto count = static_cast<unsigned>(__builtin_popcountll(keep));
    _mm512_mask_storeu_epi8(out, _bzhi_u64(~0ull, count), _mm512_maskz_compress_epi8(keep, reversed));
    return out + count;
}

}  // namespace

// Chunks go at a fixed stride, each checked against the one before, so no
// chunk waits for the previous one's end. A chunk is decoded once the next is
// checked: the sequences that run into the next are then known whole.
BRIM_AVX512 bool Utf8ToWide(const unsigned char* s, std::size_t n, std::size_t& i, wchar_t* dst, std::size_t& o,
                            std::size_t capacity) {
    const std::size_t first = i;
    std::size_t in = i, out = o;
    bool stalled = false;
    AsciiLines lines;
    lines.stream = n - in >= kStreamedInput && reinterpret_cast<std::uintptr_t>(dst) % alignof(wchar_t) == 0;
    while (n - in >= kVectorUtf8InputRoom && capacity - out >= kVectorWideOutputRoom) {
        const __m512i cur = _mm512_loadu_si512(s + in), next = _mm512_loadu_si512(s + in + kVectorChunk);
        const bool ascii = _mm512_movepi8_mask(_mm512_or_si512(cur, next)) == 0;
        if (!ascii && ((in == first && !WellFormed(cur, _mm512_setzero_si512())) || !WellFormed(next, cur))) {
            stalled = true;
            break;
        }
        const std::uint64_t starts = Starts(cur);
        if (_mm512_movepi8_mask(cur) == 0) {
            if (in >= kVectorWideStep && out >= kVectorWideStep) {
                WidenAscii(s + in, dst + out, lines);
            } else {
                WidenAsciiUnaligned(s + in, dst + out);
            }
            out += kVectorChunk;
        } else {
            CloseLine(s + in, dst + out, lines);
            out += DecodeChunk(cur, next, starts, dst + out);
        }
        in += kVectorChunk;
    }
    CloseLine(s + in, dst + out, lines);
    if (lines.stream) _mm_sfence();   // streamed stores are ordered before what follows
    // The continuation bytes of the last sequence decoded.
    if (in != first) {
        while ((s[in] & 0xC0) == 0x80) ++in;
    }
    i = in;
    o = out;
    return stalled;
}

BRIM_AVX512 bool Utf8ToWideCount(const unsigned char* s, std::size_t n, std::size_t& i, std::size_t& count) {
    const std::size_t first = i;
    std::size_t in = i, units = 0;
    bool stalled = false;
    __m512i prev = _mm512_setzero_si512();
    // Two chunks a round, with one look at their errors: the checks of both
    // overlap. A round with an error is done again a chunk at a time below.
    for (; n - in >= kVectorUtf8InputRoom + kVectorChunk; in += 2 * kVectorChunk) {
        const __m512i a = _mm512_loadu_si512(s + in), b = _mm512_loadu_si512(s + in + kVectorChunk);
        if (_mm512_movepi8_mask(_mm512_ternarylogic_epi32(a, b, prev, 0xFE)) != 0) {   // a | b | prev
            const __m512i errors = _mm512_or_si512(Errors(a, prev), Errors(b, a));
            if (_mm512_test_epi8_mask(errors, errors) != 0) break;
        }
        units += static_cast<std::size_t>(__builtin_popcountll(Starts(a)) + __builtin_popcountll(Starts(b)));
        prev = b;
    }
    for (; n - in >= kVectorUtf8InputRoom; in += kVectorChunk) {
        const __m512i cur = _mm512_loadu_si512(s + in);
        if (_mm512_movepi8_mask(_mm512_or_si512(cur, prev)) != 0 && !WellFormed(cur, prev)) {
            stalled = true;
            break;
        }
        units += static_cast<std::size_t>(__builtin_popcountll(Starts(cur)));
        prev = cur;
    }
    EndCount(s, first, in, units, i, count);
    return stalled;
}

// AddressSanitizer would take the bytes a line holds beyond the text for an
// overflow, so it does not watch this function; what it reads is masked to
// the text before it is used.
__attribute__((no_sanitize_address)) BRIM_AVX512 std::size_t ScanText(const char* s, std::size_t limit, bool& ascii) {
    const auto address = reinterpret_cast<std::uintptr_t>(s);
    const auto* line = reinterpret_cast<const char*>(address & ~std::uintptr_t{63});
    auto first = static_cast<unsigned>(address & 63);   // the bit of the text's first byte in this line
    std::size_t before = 0;                              // the text's bytes in the lines before
    std::uint64_t high = 0;
    for (;; line += 64, before += 64 - first, first = 0) {
        // Whole lines well before the limit go four at a time while they hold no
        // zero, from a 256-byte boundary (so the four lie in one page).
        while (first == 0 && reinterpret_cast<std::uintptr_t>(line) % 256 == 0 && limit - before > 256) {
            const __m512i a = _mm512_load_si512(line), b = _mm512_load_si512(line + 64);
            const __m512i c = _mm512_load_si512(line + 128), d = _mm512_load_si512(line + 192);
            const __m512i least = _mm512_min_epu8(_mm512_min_epu8(a, b), _mm512_min_epu8(c, d));
            if (_mm512_testn_epi8_mask(least, least) != 0) break;
            high |= _mm512_movepi8_mask(_mm512_ternarylogic_epi32(a, b, _mm512_or_si512(c, d), 0xFE));   // a | b | c
            line += 256;
            before += 256;
        }
        const __m512i bytes = _mm512_load_si512(line);
        std::uint64_t counted = ~0ull << first;
        const std::uint64_t zeros = _mm512_testn_epi8_mask(bytes, bytes) & counted;
        if (zeros != 0) counted &= (zeros & (0 - zeros)) - 1;   // the bytes before the first zero
        if (limit - before < 64 - first) counted &= (1ull << (first + (limit - before))) - 1;
        high |= _mm512_movepi8_mask(bytes) & counted;
        const std::size_t end = before + static_cast<std::size_t>(__builtin_popcountll(counted));
        if (zeros != 0 || end >= limit) {
            ascii = high == 0;
            return end;
        }
    }
}

BRIM_AVX512 void WideToUtf8(const wchar_t* s, std::size_t n, std::size_t& i, char* dst, std::size_t& o,
                            std::size_t capacity) {
    std::size_t in = i;
    char* out = dst + o;
    // Every store is masked to what is written, so input needs no room past
    // the step (short texts, such as log records, stay in this loop).
    while (n - in >= kVectorWideStep && capacity - static_cast<std::size_t>(out - dst) >= kVectorUtf8OutputRoom) {
        const __m512i c = _mm512_loadu_si512(s + in);
        if (_mm512_test_epi32_mask(c, _mm512_set1_epi32(static_cast<int>(0xFFFFFF80u))) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm512_cvtepi32_epi8(c));
            out += kVectorWideStep;
        } else {
            out = EncodeSixteen(Substituted(c), out);
        }
        in += kVectorWideStep;
    }
    i = in;
    o = static_cast<std::size_t>(out - dst);
}

BRIM_AVX512 void WideToUtf8Count(const wchar_t* s, std::size_t n, std::size_t& i, std::size_t& count) {
    std::size_t in = i, bytes = 0;
    for (; n - in >= kVectorWideStep; in += kVectorWideStep) {
        const __m512i c = _mm512_loadu_si512(s + in);
        // A surrogate takes three bytes as U+FFFD does; past U+10FFFF (four
        // bytes by value) it is three too.
        const __mmask16 two = _mm512_cmpgt_epu32_mask(c, _mm512_set1_epi32(0x7F));
        const __mmask16 three = _mm512_cmpgt_epu32_mask(c, _mm512_set1_epi32(0x7FF));
        const __mmask16 four = _mm512_mask_cmple_epu32_mask(_mm512_cmpgt_epu32_mask(c, _mm512_set1_epi32(0xFFFF)), c,
                                                            _mm512_set1_epi32(0x10FFFF));
        bytes += kVectorWideStep + static_cast<std::size_t>(__builtin_popcount(two) + __builtin_popcount(three) +
                                                      __builtin_popcount(four));
    }
    count += bytes;
    i = in;
}

}  // namespace brim::detail::avx512
#endif
