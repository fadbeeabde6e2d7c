#include "framework/codepages/utf8_vectors.h"

#if BRIM_WIDE_VECTORS
#include <immintrin.h>

#include <cstdint>

#define BRIM_AVX2 __attribute__((target("avx2,bmi2,popcnt")))

namespace brim::detail::avx2 {
namespace {

// A UTF-8 chunk reads up to 72 bytes and its stores reach 8 units past what
// it writes; with 128 bytes of input left the rest of the text is sure to give
// those units, so nothing is written past the end of a buffer sized by the
// count. The 16-byte stores of wide text reach 15 bytes past what they write,
// which 32 units of input left cover.

// ---- tables ------------------------------------------------------------------

// kCompress[m]: the lanes whose bit is set in m, moved to the front.
struct CompressTable {
    unsigned char lanes[256][8];
};
constexpr CompressTable MakeCompressTable() {
    CompressTable t{};
    for (int m = 0; m < 256; ++m) {
        int k = 0;
        for (int lane = 0; lane < 8; ++lane) {
            if ((m >> lane) & 1) t.lanes[m][k++] = static_cast<unsigned char>(lane);
        }
    }
    return t;
}
alignas(64) constexpr CompressTable kCompress = MakeCompressTable();

// Four code points of a 128-bit lane, each as up to four UTF-8 bytes in the
// low end of its 32-bit slot, last byte lowest. idx holds (length - 1) of the
// four in 2-bit fields; kPack[idx] gathers their bytes in order.
struct PackTable {
    unsigned char shuffle[256][16];
    unsigned char length[256];
};
constexpr PackTable MakePackTable() {
    PackTable t{};
    for (int idx = 0; idx < 256; ++idx) {
        int at = 0;
        for (int k = 0; k < 4; ++k) {
            const int extra = (idx >> (2 * k)) & 3;
            for (int j = extra; j >= 0; --j) t.shuffle[idx][at++] = static_cast<unsigned char>(4 * k + j);
        }
        t.length[idx] = static_cast<unsigned char>(at);
        while (at < 16) t.shuffle[idx][at++] = 0x80;
    }
    return t;
}
alignas(64) constexpr PackTable kPack = MakePackTable();

// Eight mask bits spread to 2-bit fields, so that three masks add up to the
// idx of kPack for two lanes at once.
struct SpreadTable {
    std::uint16_t value[256];
};
constexpr SpreadTable MakeSpreadTable() {
    SpreadTable t{};
    for (int m = 0; m < 256; ++m) {
        for (int k = 0; k < 8; ++k) {
            if ((m >> k) & 1) t.value[m] = static_cast<std::uint16_t>(t.value[m] | (1u << (2 * k)));
        }
    }
    return t;
}
alignas(64) constexpr SpreadTable kSpread = MakeSpreadTable();

// ---- UTF-8 checks -------------------------------------------------------------

BRIM_AVX2 inline __m256i Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }

// The bytes of cur moved up by K places, the last K bytes of the previous
// vector (joined holds its upper half and cur's lower half) in front.
template <int K>
BRIM_AVX2 inline __m256i Earlier(__m256i cur, __m256i joined) {
    return _mm256_alignr_epi8(cur, joined, 16 - K);
}

// Error classes of a byte and the one before it, found by three nibble
// lookups whose bits must all agree.
constexpr char kTooShort = 0x01;     // a lead not followed by a continuation
constexpr char kTooLong = 0x02;      // a continuation after ASCII
constexpr char kOverlong2 = 0x04;    // C0, C1
constexpr char kOverlong3 = 0x08;    // E0 80..9F
constexpr char kSurrogate = 0x10;    // ED A0..BF
constexpr char kOverlong4 = 0x20;    // F0 80..8F
constexpr char kTooLarge = 0x40;     // F4 90..BF
constexpr char kTwoConts = char(0x80);   // a continuation after a continuation: right only as a 3rd or 4th byte

// Nonzero bytes where cur breaks the rules of UTF-8, given the vector before it.
BRIM_AVX2 inline __m256i Utf8Errors(__m256i cur, __m256i prev) {
    const __m256i joined = _mm256_permute2x128_si256(prev, cur, 0x21);
    const __m256i p1 = Earlier<1>(cur, joined), p2 = Earlier<2>(cur, joined), p3 = Earlier<3>(cur, joined);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    constexpr char kLeadClass = kTooShort, kTail = kTooShort | kTooLong | kTwoConts;
    const __m256i byHigh = _mm256_setr_epi8(
        kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
        kTwoConts, kTwoConts, kTwoConts, kTwoConts, kLeadClass | kOverlong2, kLeadClass,
        kLeadClass | kOverlong3 | kSurrogate, kLeadClass | kOverlong4 | kTooLarge,
        kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
        kTwoConts, kTwoConts, kTwoConts, kTwoConts, kLeadClass | kOverlong2, kLeadClass,
        kLeadClass | kOverlong3 | kSurrogate, kLeadClass | kOverlong4 | kTooLarge);
    const __m256i byLow = _mm256_setr_epi8(
        kTail | kOverlong2 | kOverlong3 | kOverlong4, kTail | kOverlong2, kTail, kTail, kTail | kTooLarge, kTail,
        kTail, kTail, kTail, kTail, kTail, kTail, kTail, kTail | kSurrogate, kTail, kTail,
        kTail | kOverlong2 | kOverlong3 | kOverlong4, kTail | kOverlong2, kTail, kTail, kTail | kTooLarge, kTail,
        kTail, kTail, kTail, kTail, kTail, kTail, kTail, kTail | kSurrogate, kTail, kTail);
    constexpr char kCont = kTooLong | kOverlong2 | kTwoConts;
    const __m256i byNext = _mm256_setr_epi8(
        kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
        kCont | kOverlong3 | kOverlong4, kCont | kOverlong3 | kTooLarge, kCont | kSurrogate | kTooLarge,
        kCont | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort,
        kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
        kCont | kOverlong3 | kOverlong4, kCont | kOverlong3 | kTooLarge, kCont | kSurrogate | kTooLarge,
        kCont | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort);
    const __m256i pairs = _mm256_and_si256(
        _mm256_and_si256(_mm256_shuffle_epi8(byHigh, _mm256_and_si256(_mm256_srli_epi16(p1, 4), nibble)),
                         _mm256_shuffle_epi8(byLow, _mm256_and_si256(p1, nibble))),
        _mm256_shuffle_epi8(byNext, _mm256_and_si256(_mm256_srli_epi16(cur, 4), nibble)));
    // Bit 7 where a three- or four-byte lead two or three places back wants
    // this byte as its third or fourth: exactly where kTwoConts is right.
    const __m256i deep = _mm256_and_si256(
        _mm256_or_si256(_mm256_subs_epu8(p2, _mm256_set1_epi8(0x60)), _mm256_subs_epu8(p3, _mm256_set1_epi8(0x70))),
        _mm256_set1_epi8(char(0x80)));
    // F5..FF never occur.
    const __m256i never = _mm256_subs_epu8(cur, _mm256_set1_epi8(char(0xF4)));
    return _mm256_or_si256(_mm256_xor_si256(pairs, deep), never);
}

// 64 bytes that start where a sequence may start, checked on their own (a
// sequence cut by the chunk's end passes; CompleteEnd leaves it out).
BRIM_AVX2 inline bool WellFormed(__m256i lo, __m256i hi) {
    const __m256i errors = _mm256_or_si256(Utf8Errors(lo, _mm256_setzero_si256()), Utf8Errors(hi, lo));
    return _mm256_testz_si256(errors, errors) != 0;
}

inline std::uint64_t LowBits(std::size_t k) { return k >= 64 ? ~0ull : (1ull << k) - 1; }

// Bits of the bytes that start a character (all but continuations).
BRIM_AVX2 inline std::uint64_t Starts(__m256i lo, __m256i hi) {
    const __m256i notCont = _mm256_set1_epi8(-65);   // 0xBF: continuations are below it as signed bytes
    const auto l = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(lo, notCont)));
    const auto h = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(hi, notCont)));
    return l | (std::uint64_t{h} << 32);
}

// ---- UTF-8 -> UTF-32 ----------------------------------------------------------

BRIM_AVX2 inline __m256i WidenEight(const unsigned char* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

BRIM_AVX2 inline void WidenAscii(const unsigned char* p, wchar_t* out) {
    for (int k = 0; k < 8; ++k) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * k), WidenEight(p + 8 * k));
}

// ASCII output is four times its input, so its stores set the pace; a store
// that straddles two cache lines costs as much as two. The first chunk of a
// run of ASCII is stored as it lies. Each chunk after it is stored by whole
// lines from skew units before it: those units are the widened bytes before
// the chunk, which the chunk before (ASCII too) wrote the same. The skew
// units this leaves open at the end go with the run's last 16 units when the
// run ends. An output far larger than the caches is streamed past them: it
// would only push the text (and the host's other data) out on its way to
// memory.
struct AsciiRun {
    bool running = false;   // the chunk before was ASCII
    bool open = false;      // its last units are still to be stored
    bool stream = false;
};

BRIM_AVX2 inline void WidenAsciiInRun(const unsigned char* p, wchar_t* out, AsciiRun& run) {
    if (!run.running) {
        WidenAscii(p, out);
        run.running = true;
        return;
    }
    const auto skew = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(out) % 64 / sizeof(wchar_t));
    wchar_t* line = out - skew;
    const unsigned char* from = p - skew;
    for (int k = 0; k < 8; ++k) {
        auto* at = reinterpret_cast<__m256i*>(line + 8 * k);
        if (run.stream) {
            _mm256_stream_si256(at, WidenEight(from + 8 * k));
        } else {
            _mm256_storeu_si256(at, WidenEight(from + 8 * k));
        }
    }
    run.open = skew != 0;
}

// Ends a run of ASCII that ended at p and out.
BRIM_AVX2 inline void EndRun(const unsigned char* p, wchar_t* out, AsciiRun& run) {
    if (run.open) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out - 16), WidenEight(p - 16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out - 8), WidenEight(p - 8));
    }
    run.running = false;
    run.open = false;
}

// Decodes the characters that start in p[0..end) of a well-formed chunk: the
// code point is worked out at every byte and those at starts are kept.
BRIM_AVX2 inline wchar_t* DecodeChunk(const unsigned char* p, std::uint64_t starts, std::size_t end, wchar_t* out) {
    // Byte k of the group and the three after it, the first in the top byte.
    const __m256i gather = _mm256_setr_epi8(3, 2, 1, 0, 4, 3, 2, 1, 5, 4, 3, 2, 6, 5, 4, 3,
                                            7, 6, 5, 4, 8, 7, 6, 5, 9, 8, 7, 6, 10, 9, 8, 7);
    // By the lead's high nibble: shifting left drops its marker bits, shifting
    // right then drops the bytes that are not part of the character.
    const __m256i leftShift = _mm256_setr_epi8(7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9, 9, 10, 11,
                                               7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9, 9, 10, 11);
    const __m256i rightShift = _mm256_setr_epi8(25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 21, 21, 16, 11,
                                                25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25, 21, 21, 16, 11);
    const __m256i payload = _mm256_set1_epi32(static_cast<int>(0xFF3F3F3Fu));
    const __m256i onlyLowByte = _mm256_set1_epi32(static_cast<int>(0x80808000u));
    starts &= LowBits(end);
    for (std::size_t q = 0; q < end; q += 8) {
        const unsigned m = static_cast<unsigned>(starts >> q) & 0xFF;
        const __m256i bytes = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + q)));
        const __m256i word = _mm256_shuffle_epi8(bytes, gather);
        // lead << 18 | c1 << 12 | c2 << 6 | c3, continuation bits stripped.
        const __m256i joined = _mm256_madd_epi16(
            _mm256_maddubs_epi16(_mm256_and_si256(word, payload), _mm256_set1_epi32(0x40014001)),
            _mm256_set1_epi32(0x10000001));
        const __m256i nibble = _mm256_or_si256(_mm256_srli_epi32(word, 28), onlyLowByte);
        const __m256i code = _mm256_srlv_epi32(_mm256_sllv_epi32(joined, _mm256_shuffle_epi8(leftShift, nibble)),
                                               _mm256_shuffle_epi8(rightShift, nibble));
        const __m256i order = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(kCompress.lanes[m])));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permutevar8x32_epi32(code, order));
        out += __builtin_popcount(m);
    }
    return out;
}

// ---- UTF-32 -> UTF-8 ------------------------------------------------------------

// Lone surrogates and values past U+10FFFF become U+FFFD.
BRIM_AVX2 inline __m256i Substituted(__m256i c) {
    const __m256i inRange = _mm256_cmpeq_epi32(_mm256_min_epu32(c, _mm256_set1_epi32(0x10FFFF)), c);
    const __m256i surrogate = _mm256_cmpeq_epi32(_mm256_and_si256(c, _mm256_set1_epi32(static_cast<int>(0xFFFFF800u))),
                                                 _mm256_set1_epi32(0xD800));
    return _mm256_blendv_epi8(_mm256_set1_epi32(0xFFFD), c, _mm256_andnot_si256(surrogate, inRange));
}

BRIM_AVX2 inline bool AllAscii(__m256i a, __m256i b) {
    return _mm256_testz_si256(_mm256_or_si256(a, b), _mm256_set1_epi32(static_cast<int>(0xFFFFFF80u))) != 0;
}

// Sixteen ASCII units to sixteen bytes.
BRIM_AVX2 inline void NarrowAscii(__m256i a, __m256i b, char* out) {
    const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(a, b), _mm256_setzero_si256());
    const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 3, 6, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(ordered));
}

BRIM_AVX2 inline unsigned LaneBits(__m256i v) { return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(v))); }

// Eight code points (already substituted) to UTF-8.
BRIM_AVX2 inline char* EncodeEight(__m256i c, char* out) {
    const __m256i two = _mm256_cmpgt_epi32(c, _mm256_set1_epi32(0x7F));
    const __m256i three = _mm256_cmpgt_epi32(c, _mm256_set1_epi32(0x7FF));
    const __m256i four = _mm256_cmpgt_epi32(c, _mm256_set1_epi32(0xFFFF));
    // 6-bit groups one to a byte, lowest group in the lowest byte...
    const __m256i groups = _mm256_or_si256(
        _mm256_or_si256(_mm256_and_si256(c, _mm256_set1_epi32(0x3F)),
                        _mm256_and_si256(_mm256_slli_epi32(c, 2), _mm256_set1_epi32(0x3F00))),
        _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi32(c, 4), _mm256_set1_epi32(0x3F0000)),
                        _mm256_and_si256(_mm256_slli_epi32(c, 6), _mm256_set1_epi32(0x3F000000))));
    // ...with the marker bits of the length: C080, E08080 or F0808080.
    const __m256i markers = _mm256_xor_si256(
        _mm256_xor_si256(_mm256_and_si256(two, _mm256_set1_epi32(0xC080)), _mm256_and_si256(three, _mm256_set1_epi32(0xE04000))),
        _mm256_and_si256(four, _mm256_set1_epi32(static_cast<int>(0xF0600000u))));
    const __m256i encoded = _mm256_blendv_epi8(c, _mm256_or_si256(groups, markers), two);
    const unsigned idx = kSpread.value[LaneBits(two)] + kSpread.value[LaneBits(three)] + kSpread.value[LaneBits(four)];
    const unsigned lo = idx & 0xFF, hi = idx >> 8;
    const __m256i shuffle = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kPack.shuffle[lo]))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPack.shuffle[hi])), 1);
    const __m256i packed = _mm256_shuffle_epi8(encoded, shuffle);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
    out += kPack.length[lo];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_extracti128_si256(packed, 1));
    return out + kPack.length[hi];
}

// Bytes past one per unit for eight code points, as lane counters to subtract.
BRIM_AVX2 inline __m256i ExtraBytes(__m256i c) {
    return _mm256_add_epi32(_mm256_add_epi32(_mm256_cmpgt_epi32(c, _mm256_set1_epi32(0x7F)),
                                             _mm256_cmpgt_epi32(c, _mm256_set1_epi32(0x7FF))),
                            _mm256_cmpgt_epi32(c, _mm256_set1_epi32(0xFFFF)));
}

}  // namespace

// Chunks of a well-formed text are decoded as they lie, each from a sequence
// start: the chunk's last whole sequence sets where the next begins.
BRIM_AVX2 bool Utf8ToWide(const unsigned char* s, std::size_t n, std::size_t& i, wchar_t* dst, std::size_t& o,
                          std::size_t capacity) {
    std::size_t in = i, out = o;
    bool stalled = false;
    AsciiRun run;
    run.stream = n - in >= kStreamedInput && reinterpret_cast<std::uintptr_t>(dst) % alignof(wchar_t) == 0;
    while (n - in >= kVectorUtf8InputRoom && capacity - out >= kVectorWideOutputRoom) {
        const unsigned char* p = s + in;
        const __m256i lo = Load(p), hi = Load(p + 32);
        if (_mm256_movemask_epi8(_mm256_or_si256(lo, hi)) == 0) {
            WidenAsciiInRun(p, dst + out, run);
            in += kVectorChunk;
            out += kVectorChunk;
            continue;
        }
        EndRun(p, dst + out, run);
        if (!WellFormed(lo, hi)) {
            stalled = true;
            break;
        }
        const std::uint64_t starts = Starts(lo, hi);
        const std::size_t end = CompleteEnd(p, starts);
        out = static_cast<std::size_t>(DecodeChunk(p, starts, end, dst + out) - dst);
        in += end;
    }
    EndRun(s + in, dst + out, run);
    if (run.stream) _mm_sfence();   // streamed stores are ordered before what follows
    i = in;
    o = out;
    return stalled;
}

// Chunks go at a fixed stride, each checked against the one before, so no
// chunk waits for the previous one's end.
BRIM_AVX2 bool Utf8ToWideCount(const unsigned char* s, std::size_t n, std::size_t& i, std::size_t& count) {
    const std::size_t first = i;
    std::size_t in = i, units = 0;
    bool stalled = false;
    __m256i prev = _mm256_setzero_si256();
    for (; n - in >= kVectorUtf8InputRoom; in += kVectorChunk) {
        const __m256i lo = Load(s + in), hi = Load(s + in + 32);
        if (_mm256_movemask_epi8(_mm256_or_si256(_mm256_or_si256(lo, hi), prev)) == 0) {
            units += kVectorChunk;   // ASCII, after ASCII
        } else {
            const __m256i errors = _mm256_or_si256(Utf8Errors(lo, prev), Utf8Errors(hi, lo));
            if (_mm256_testz_si256(errors, errors) == 0) {
                stalled = true;
                break;
            }
            units += static_cast<std::size_t>(__builtin_popcountll(Starts(lo, hi)));
        }
        prev = hi;
    }
    EndCount(s, first, in, units, i, count);
    return stalled;
}

BRIM_AVX2 void WideToUtf8(const wchar_t* s, std::size_t n, std::size_t& i, char* dst, std::size_t& o,
                          std::size_t capacity) {
    std::size_t in = i;
    char* out = dst + o;
    while (n - in >= kVectorWideInputRoom && capacity - static_cast<std::size_t>(out - dst) >= kVectorUtf8OutputRoom) {
        const __m256i a = Load(s + in), b = Load(s + in + 8);
        if (AllAscii(a, b)) {
            NarrowAscii(a, b, out);
            out += kVectorWideStep;
        } else {
            out = EncodeEight(Substituted(b), EncodeEight(Substituted(a), out));
        }
        in += kVectorWideStep;
    }
    i = in;
    o = static_cast<std::size_t>(out - dst);
}

BRIM_AVX2 void WideToUtf8Count(const wchar_t* s, std::size_t n, std::size_t& i, std::size_t& count) {
    std::size_t in = i, bytes = 0;
    while (n - in >= kVectorWideStep) {
        // Lane counters stay far from overflow within one batch.
        __m256i extra = _mm256_setzero_si256();
        for (int batch = 0; batch < 4096 && n - in >= kVectorWideStep; ++batch, in += kVectorWideStep) {
            const __m256i a = Load(s + in), b = Load(s + in + 8);
            if (AllAscii(a, b)) continue;
            extra = _mm256_sub_epi32(extra, ExtraBytes(Substituted(a)));
            extra = _mm256_sub_epi32(extra, ExtraBytes(Substituted(b)));
        }
        alignas(32) std::uint32_t lanes[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), extra);
        for (std::uint32_t lane : lanes) bytes += lane;
    }
    count += bytes + (in - i);
    i = in;
}

}  // namespace brim::detail::avx2
#endif
