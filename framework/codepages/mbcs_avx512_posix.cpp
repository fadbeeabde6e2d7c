#include "framework/codepages/mbcs_vectors.h"

#if BRIM_WIDE_VECTORS
// GCC's AVX-512 headers start some intrinsics from undefined registers, which
// it reports as uninitialized values once they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#define BRIM_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi2,popcnt")))

namespace brim::platform::mbcs::avx512 {
namespace {

constexpr std::size_t kBlock = 64;   // and one byte past it read

// The bytes of a block that are trails: the one after each lead that is not
// itself a trail (carry: the first byte is the trail of the block before).
// In a run of leads the pairs are aligned from the run's start, so a lead is
// a trail when the run before it, up to it, has odd length. (The run
// arithmetic: add each run's odd-aligned start to the run; the carry flips
// the alignment of runs that start on an odd bit.)
inline std::uint64_t Trails(std::uint64_t leads, std::uint64_t carry) {
    constexpr std::uint64_t kEven = 0x5555555555555555ull;
    leads &= ~carry;
    const std::uint64_t follows = leads << 1 | carry;
    const std::uint64_t oddStarts = leads & ~kEven & ~follows;
    const std::uint64_t evenRuns = oddStarts + leads;
    return (kEven ^ (evenRuns << 1)) & follows;
}

struct Block {
    __m512i bytes;            // s[i..i+64)
    __m512i next;             // s[i+1..i+65): each byte's trail if it is a lead
    std::uint64_t starts;     // the characters the loop takes
    std::uint64_t leads;      // the lead bytes, trails among them
    std::uint64_t carry;      // 1: the first byte of the next block is the last character's trail
    bool ascii;               // nothing but ASCII, no carry in
    bool stopped;             // the tables take the step at the first byte past starts
    std::size_t stop;         // where that step is
};

// Bytes by the low seven bits of each index from 128 bytes at table.
BRIM_AVX512 inline __m512i Lookup(const unsigned char* table, __m512i index) {
    return _mm512_permutex2var_epi8(_mm512_load_si512(table), index, _mm512_load_si512(table + 64));
}

// Classifies 64 bytes: the characters that start in them, and the first one
// the loop cannot be sure of (a high byte that is no lead, a pair the ranges
// do not vouch for).
BRIM_AVX512 inline Block Classify(const DecodeVectors& v, const unsigned char* p, std::uint64_t carry) {
    Block b;
    b.bytes = _mm512_loadu_si512(p);
    b.next = _mm512_loadu_si512(p + 1);
    b.stopped = false;
    b.carry = 0;
    const std::uint64_t high = _mm512_movepi8_mask(b.bytes);
    b.ascii = (high | carry) == 0;
    b.leads = 0;
    if (high == 0) {
        b.starts = ~carry;
        return b;
    }
    const __m512i lead = Lookup(v.lead, b.bytes);
    const std::uint64_t leads = high & _mm512_test_epi8_mask(lead, _mm512_set1_epi8(kLead));
    b.leads = leads;
    // Both alignments are found before the carry is known, so that the
    // blocks do not wait on each other for more than a select.
    const std::uint64_t startsAfterCharacter = ~Trails(leads, 0), startsAfterLead = ~Trails(leads, 1);
    b.starts = startsAfterCharacter ^ ((startsAfterCharacter ^ startsAfterLead) & (0 - carry));
    const std::uint64_t carryAfterCharacter = (startsAfterCharacter & leads) >> 63;
    const std::uint64_t carryAfterLead = (startsAfterLead & leads) >> 63;
    const std::uint64_t leadStarts = b.starts & leads;
    const __m512i t = b.next;
    const std::uint64_t common =
        _mm512_test_epi8_mask(lead, _mm512_set1_epi8(kLeadOfCommonTrails)) &
        _mm512_cmple_epu8_mask(_mm512_sub_epi8(t, _mm512_set1_epi8(static_cast<char>(v.commonFirst))),
                               _mm512_set1_epi8(static_cast<char>(v.commonLast - v.commonFirst)));
    // Past the common range: the lead's own range of high trails (GBK's
    // symbol rows end here), then its low range and ASCII letters.
    std::uint64_t doubtful = leadStarts & ~common;
    if (doubtful != 0) {
        doubtful &= ~(_mm512_cmpge_epu8_mask(t, Lookup(v.highFirst, b.bytes)) &
                      _mm512_cmple_epu8_mask(t, Lookup(v.highLast, b.bytes)));
    }
    if (doubtful != 0) {
        const std::uint64_t inLow = _mm512_cmpge_epu8_mask(t, Lookup(v.lowFirst, b.bytes)) &
                                    _mm512_cmple_epu8_mask(t, Lookup(v.lowLast, b.bytes));
        const __m512i letter = _mm512_sub_epi8(_mm512_or_si512(t, _mm512_set1_epi8(0x20)), _mm512_set1_epi8('a'));
        const __m512i letters = Lookup(v.letters, b.bytes);
        const std::uint64_t isLetter =
            _mm512_cmple_epu8_mask(letter, _mm512_set1_epi8(25)) & _mm512_test_epi8_mask(letters, letters);
        doubtful &= ~(inLow | isLetter);
    }
    const std::uint64_t unsure = (b.starts & high & ~leads) | doubtful;
    if (unsure != 0) {
        b.stop = static_cast<std::size_t>(__builtin_ctzll(unsure));
        b.starts &= (1ull << b.stop) - 1;   // a lead before the stop has its trail before it too
        b.stopped = true;
    } else {
        b.carry = carryAfterCharacter ^ ((carryAfterCharacter ^ carryAfterLead) & carry);
    }
    return b;
}

// The characters of up to eight leads, from the front of the compressed
// leads and trails. Gathers cost by the lane, so only leads take one.
BRIM_AVX512 inline __m256i Pairs(const std::uint16_t* pair, __m128i leads, __m128i trails) {
    const __m256i a = _mm256_cvtepu8_epi32(leads);
    const __m256i t = _mm256_cvtepu8_epi32(trails);
    const __m256i index = _mm256_or_si256(_mm256_slli_epi32(_mm256_sub_epi32(a, _mm256_set1_epi32(0x80)), 8), t);
    const __m256i got = _mm256_i32gather_epi32(reinterpret_cast<const int*>(pair), index, 2);
    return _mm256_and_si256(got, _mm256_set1_epi32(0xFFFF));
}

// The characters of a block's leads in order (32 at most: each has its trail).
struct LeadCharacters {
    __m512i low, high;   // the first 16 and the next 16
};

BRIM_AVX512 inline LeadCharacters Gather(const std::uint16_t* pair, const Block& b, std::uint64_t leadStarts) {
    const __m512i leads = _mm512_maskz_compress_epi8(leadStarts, b.bytes);
    const __m512i trails = _mm512_maskz_compress_epi8(leadStarts, b.next);
    const auto count = static_cast<unsigned>(__builtin_popcountll(leadStarts));
    __m256i part[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
    const __m128i l0 = _mm512_castsi512_si128(leads), t0 = _mm512_castsi512_si128(trails);
    part[0] = Pairs(pair, l0, t0);
    if (count > 8) part[1] = Pairs(pair, _mm_srli_si128(l0, 8), _mm_srli_si128(t0, 8));
    if (count > 16) {
        const __m128i l1 = _mm512_extracti32x4_epi32(leads, 1), t1 = _mm512_extracti32x4_epi32(trails, 1);
        part[2] = Pairs(pair, l1, t1);
        if (count > 24) part[3] = Pairs(pair, _mm_srli_si128(l1, 8), _mm_srli_si128(t1, 8));
    }
    return {_mm512_inserti64x4(_mm512_castsi256_si512(part[0]), part[1], 1),
            _mm512_inserti64x4(_mm512_castsi256_si512(part[2]), part[3], 1)};
}

// Output units 16 j to 16 j + 15 of a block: the start bytes widened, the
// leads' characters (from index from on) put in their places.
template <int j>
BRIM_AVX512 inline void StoreChunk(wchar_t* out, std::uint64_t kept, std::uint64_t isLead, __m512i firsts,
                                   const LeadCharacters& characters, __m512i& from) {
    const auto leads = static_cast<__mmask16>(isLead >> (16 * j));
    const __m512i ascii = _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(firsts, j));
    const __m512i ordered = _mm512_permutex2var_epi32(characters.low, from, characters.high);
    _mm512_mask_storeu_epi32(out + 16 * j, static_cast<__mmask16>(kept >> (16 * j)),
                             _mm512_mask_expand_epi32(ascii, leads, ordered));
    from = _mm512_add_epi32(from, _mm512_set1_epi32(__builtin_popcount(leads)));
}

// A classified block's characters, written from out on.
BRIM_AVX512 inline void Store(const DecodeVectors& v, const Block& b, wchar_t* out) {
    if (b.ascii) {
        const __m512i ascii = b.bytes;
        _mm512_storeu_si512(out, _mm512_cvtepu8_epi32(_mm512_castsi512_si128(ascii)));
        _mm512_storeu_si512(out + 16, _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(ascii, 1)));
        _mm512_storeu_si512(out + 32, _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(ascii, 2)));
        _mm512_storeu_si512(out + 48, _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(ascii, 3)));
        return;
    }
    // The bytes that start characters, widened, and each lead's character
    // put in its place.
    const std::uint64_t leadStarts = b.starts & b.leads;
    const LeadCharacters characters = Gather(v.pair, b, leadStarts);
    const std::uint64_t isLead = _pext_u64(leadStarts, b.starts);
    const __m512i firsts = _mm512_maskz_compress_epi8(b.starts, b.bytes);
    // Four stores of sixteen, masked to the characters there are: their
    // number varies from block to block, and a loop over it mispredicts.
    const std::uint64_t kept = _bzhi_u64(~0ull, static_cast<unsigned>(__builtin_popcountll(b.starts)));
    __m512i from = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    StoreChunk<0>(out, kept, isLead, firsts, characters, from);
    StoreChunk<1>(out, kept, isLead, firsts, characters, from);
    StoreChunk<2>(out, kept, isLead, firsts, characters, from);
    StoreChunk<3>(out, kept, isLead, firsts, characters, from);
}

// Decodes (kWrite) or counts whole blocks while they last.
template <bool kWrite>
BRIM_AVX512 inline void Blocks(const DecodeVectors& v, const unsigned char* s, std::size_t n, std::size_t& at,
                               wchar_t* dst, std::size_t capacity, std::size_t& made) {
    // The positions are kept in registers: through the references the
    // compiler would store and reload them at every block. Each block is
    // classified before the one before it is stored, so that the gathers
    // of a block find their indices ready instead of waiting at the end of
    // its classification (10% on Korean and Chinese text).
    std::size_t i = at, o = made;
    std::uint64_t carry = 0;
    if (n - i > kBlock && (!kWrite || capacity - o >= kBlock)) {
        Block b = Classify(v, s + i, 0);
        for (;;) {
            const std::size_t count = static_cast<std::size_t>(__builtin_popcountll(b.starts));
            const bool more = !b.stopped && n - (i + kBlock) > kBlock && (!kWrite || capacity - (o + count) >= kBlock);
            Block next;
            if (more) next = Classify(v, s + i + kBlock, b.carry);
            if (kWrite) Store(v, b, dst + o);
            o += count;
            if (b.stopped) {
                i += b.stop;
                carry = 0;
                break;
            }
            i += kBlock;
            carry = b.carry;
            if (!more) break;
            b = next;
        }
    }
    at = i + carry;
    made = o;
}

// The characters of 32 bytes of a page without leads, as 16-bit lanes.
BRIM_AVX512 inline __m512i Singles(const DecodeVectors& v, __m256i raw) {
    const __m512i bytes = _mm512_cvtepu8_epi16(raw);
    const __mmask32 high = _mm512_cmpge_epu16_mask(bytes, _mm512_set1_epi16(0x80));
    const __m512i low64 = _mm512_permutex2var_epi16(_mm512_load_si512(v.single), bytes, _mm512_load_si512(v.single + 32));
    const __m512i high64 =
        _mm512_permutex2var_epi16(_mm512_load_si512(v.single + 64), bytes, _mm512_load_si512(v.single + 96));
    const __mmask32 upper = _mm512_test_epi16_mask(bytes, _mm512_set1_epi16(0x40));
    return _mm512_mask_blend_epi16(high, bytes, _mm512_mask_blend_epi16(upper, low64, high64));
}

// What the accents of 32 bytes (at p) take: the letters that combine with
// the accent after them (their characters put in their lanes of units), and
// those of them that take the accent after that too.
struct Accents {
    std::uint32_t letters = 0, second = 0;
};

BRIM_AVX512 inline Accents LettersWithAccents(const DecodeVectors& v, const unsigned char* p, __m256i raw,
                                              __m512i& units) {
    Accents a;
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m512i after = _mm512_castsi256_si512(next);
    const __m512i accent = Lookup(v.accent, after);
    const auto accents = static_cast<std::uint32_t>(_mm512_movepi8_mask(after) & _mm512_test_epi8_mask(accent, accent));
    if (accents == 0) return a;
    // Each letter's number with the next byte's accent number, looked up
    // in the table's pieces (row 0 and column 0 hold nothing).
    const __m512i bytes = _mm512_castsi256_si512(raw);
    const __m512i number = _mm512_mask_blend_epi8(_mm512_movepi8_mask(bytes), Lookup(v.letterNumber, bytes),
                                                  Lookup(v.letterNumber + 128, bytes));
    const __m512i index = _mm512_add_epi16(
        _mm512_mullo_epi16(_mm512_cvtepu8_epi16(_mm512_castsi512_si256(number)), _mm512_set1_epi16(static_cast<short>(v.accents + 1))),
        _mm512_cvtepu8_epi16(_mm512_castsi512_si256(_mm512_maskz_mov_epi8(accents, accent))));
    __m512i made = _mm512_setzero_si512();
    const __m512i piece = _mm512_srli_epi16(index, 6);
    for (unsigned k = 0; k < v.pieces; ++k) {
        const __m512i entries = _mm512_permutex2var_epi16(_mm512_load_si512(v.letterAccent + 64 * k), index,
                                                          _mm512_load_si512(v.letterAccent + 64 * k + 32));
        made = _mm512_mask_mov_epi16(made, _mm512_cmpeq_epi16_mask(piece, _mm512_set1_epi16(static_cast<short>(k))), entries);
    }
    const auto combined = static_cast<std::uint32_t>(_mm512_cmpge_epu16_mask(made, _mm512_set1_epi16(kStillHeldLetters)));
    const auto held = static_cast<std::uint32_t>(_mm512_test_epi16_mask(made, made)) & ~combined;
    units = _mm512_mask_blend_epi16(combined, units, made);
    a.letters = combined | held;
    if (held == 0) return a;
    // A letter held again (rare: a few letters, and only with some
    // accents) meets the byte after its accent, one at a time.
    alignas(64) std::uint16_t numbers[32];
    _mm512_store_si512(numbers, made);
    for (std::uint32_t rest = held; rest != 0; rest &= rest - 1) {
        const auto q = static_cast<unsigned>(__builtin_ctz(rest));
        const std::uint32_t entry = v.heldAccent[(numbers[q] - 1u) << 8 | p[q + 2]];
        units = _mm512_mask_set1_epi16(units, 1u << q, static_cast<short>(entry));
        if ((entry & kAccentTaken) != 0) a.second |= 1u << q;
    }
    return a;
}

// The units of keep (of 32), written from out on in order.
BRIM_AVX512 inline void StoreUnits(__m512i units, std::uint32_t keep, wchar_t* out) {
    if (keep != ~0u) units = _mm512_maskz_compress_epi16(keep, units);
    const std::uint32_t written = _bzhi_u32(~0u, static_cast<unsigned>(__builtin_popcount(keep)));
    _mm512_mask_storeu_epi32(out, static_cast<__mmask16>(written), _mm512_cvtepu16_epi32(_mm512_castsi512_si256(units)));
    _mm512_mask_storeu_epi32(out + 16, static_cast<__mmask16>(written >> 16),
                             _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(units, 1)));
}

// Decodes (kWrite) or counts 32 bytes at a time while they last: a page
// without leads, and where it combines, its letters with their accents.
template <bool kWrite>
BRIM_AVX512 inline void SingleBlocks(const DecodeVectors& v, const unsigned char* s, std::size_t n, std::size_t& at,
                                     wchar_t* dst, std::size_t capacity, std::size_t& made) {
    constexpr std::size_t kBytes = 32;
    std::size_t i = at, o = made;
    std::uint32_t carry = 0;   // the block's first bytes that are accents a letter before took
    for (; n - i > kBytes + 1 && (!kWrite || capacity - o >= kBytes); i += kBytes) {
        const __m256i raw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        __m512i units = kWrite ? Singles(v, raw) : _mm512_setzero_si512();
        std::uint32_t keep = ~carry;
        carry = 0;
        if (v.combines) {
            // An accent a letter takes gives no unit of its own.
            const Accents a = LettersWithAccents(v, s + i, raw, units);
            const std::uint64_t accents = (std::uint64_t{a.letters} << 1) | (std::uint64_t{a.second} << 2);
            keep &= ~static_cast<std::uint32_t>(accents);
            carry = static_cast<std::uint32_t>(accents >> 32);
        }
        if (kWrite) StoreUnits(units, keep, dst + o);
        o += static_cast<std::size_t>(__builtin_popcount(keep));
    }
    at = i + static_cast<std::size_t>(__builtin_popcount(carry));
    made = o;
}

}  // namespace

BRIM_AVX512 void Decode(const DecodeVectors& v, const unsigned char* s, std::size_t n, std::size_t& i, wchar_t* dst,
                        std::size_t capacity, std::size_t& o) {
    Blocks<true>(v, s, n, i, dst, capacity, o);
}

BRIM_AVX512 void DecodeCount(const DecodeVectors& v, const unsigned char* s, std::size_t n, std::size_t& i,
                             std::size_t& count) {
    Blocks<false>(v, s, n, i, nullptr, 0, count);
}

BRIM_AVX512 void DecodeSingle(const DecodeVectors& v, const unsigned char* s, std::size_t n, std::size_t& i,
                              wchar_t* dst, std::size_t capacity, std::size_t& o) {
    SingleBlocks<true>(v, s, n, i, dst, capacity, o);
}

BRIM_AVX512 void DecodeSingleCount(const DecodeVectors& v, const unsigned char* s, std::size_t n, std::size_t& i,
                                   std::size_t& count) {
    SingleBlocks<false>(v, s, n, i, nullptr, 0, count);
}

namespace {

constexpr std::size_t kUnits = 16;

struct Units {
    __m512i bytes;        // each unit's byte, or its two or three bytes with the first in the low byte
    __mmask16 taken;      // the units the loop takes, from the front
    __mmask16 pairs;      // those of them that give two bytes
    __mmask16 triples;    // and three
    bool stopped;
};

constexpr int kFewLanes = 4;

// Sixteen units by the table: ASCII as itself, a unit with no byte as '?',
// and the first unit the table leaves to iconv (outside the basic plane,
// no bytes at all, taken and refused, more than three bytes) ends what the
// loop takes.
BRIM_AVX512 inline Units Look(const EncodeVectors& v, const wchar_t* p) {
    Units u;
    const __m512i c = _mm512_loadu_si512(p);
    const __mmask16 ascii = _mm512_cmplt_epu32_mask(c, _mm512_set1_epi32(0x80));
    if (ascii == 0xFFFF) {
        u.bytes = c;
        u.taken = 0xFFFF;
        u.pairs = u.triples = 0;
        u.stopped = false;
        return u;
    }
    const __mmask16 plane = static_cast<__mmask16>(~ascii & _mm512_cmple_epu32_mask(c, _mm512_set1_epi32(0xFFFF)));
    // Latin-1 and the page's own script from registers, the rest from the table.
    __m512i e = c;
    __mmask16 inWindow = 0;
    for (std::size_t w = 0; w < (v.windows ? 2 : 0); ++w) {
        const __m512i near = _mm512_sub_epi32(c, _mm512_set1_epi32(static_cast<int>(v.windowFirst[w])));
        const __m512i byte = _mm512_and_si512(Lookup(v.window[w], near), _mm512_set1_epi32(0xFF));
        const __mmask16 hit =
            plane & _mm512_cmplt_epu32_mask(near, _mm512_set1_epi32(128)) & _mm512_test_epi32_mask(byte, byte);
        e = _mm512_mask_or_epi32(e, hit, byte, _mm512_set1_epi32(0x100));
        inWindow |= hit;
    }
    const auto rest = static_cast<__mmask16>(plane & ~inWindow);
    if (__builtin_popcount(rest) > kFewLanes) {
        e = _mm512_mask_i32gather_epi32(e, rest, c, v.unit, 2);
        e = _mm512_mask_and_epi32(e, rest, e, _mm512_set1_epi32(0xFFFF));
    } else {
        // A gather costs nearly as much for one lane as for all of them.
        for (unsigned lanes = rest; lanes != 0; lanes &= lanes - 1) {
            const auto q = static_cast<unsigned>(__builtin_ctz(lanes));
            e = _mm512_mask_set1_epi32(e, static_cast<__mmask16>(1u << q), v.unit[static_cast<std::uint32_t>(p[q])]);
        }
    }
    const __mmask16 invalid = plane & _mm512_cmpeq_epi32_mask(e, _mm512_set1_epi32(kUnitInvalid));
    const __mmask16 special = plane & _mm512_cmple_epu32_mask(e, _mm512_set1_epi32(kUnitLonger));
    u.pairs = plane & _mm512_cmpge_epu32_mask(e, _mm512_set1_epi32(kUnitPairs));
    const __m512i swapped = _mm512_or_si512(_mm512_srli_epi32(e, 8), _mm512_slli_epi32(_mm512_and_si512(e, _mm512_set1_epi32(0xFF)), 8));
    u.bytes = _mm512_mask_blend_epi32(u.pairs, _mm512_and_si512(e, _mm512_set1_epi32(0xFF)), swapped);
    u.bytes = _mm512_mask_blend_epi32(invalid, u.bytes, _mm512_set1_epi32('?'));
    // Three bytes (1255's shin with two points) from the page's short list.
    u.triples = 0;
    for (unsigned lanes = plane & _mm512_cmpeq_epi32_mask(e, _mm512_set1_epi32(kUnitLonger)); lanes != 0; lanes &= lanes - 1) {
        const auto q = static_cast<unsigned>(__builtin_ctz(lanes));
        const LongerUnit* l = LongerOf(v, static_cast<std::uint32_t>(p[q]));
        if (l == nullptr || l->length != 3) continue;
        u.bytes = _mm512_mask_set1_epi32(u.bytes, static_cast<__mmask16>(1u << q),
                                         static_cast<int>(l->bytes[0] | l->bytes[1] << 8 | l->bytes[2] << 16));
        u.triples = static_cast<__mmask16>(u.triples | 1u << q);
    }
    const auto unsure =
        static_cast<__mmask16>(~ascii & ~plane) | static_cast<__mmask16>(special & ~invalid & ~u.triples);
    u.taken = unsure == 0 ? static_cast<__mmask16>(0xFFFF) : static_cast<__mmask16>((1u << __builtin_ctz(unsure)) - 1);
    u.pairs &= u.taken;
    u.triples &= u.taken;
    u.stopped = unsure != 0;
    return u;
}

// A looked-up block's bytes, written from out on.
BRIM_AVX512 inline void StoreBytes(const Units& u, char* out) {
    if ((u.pairs | u.triples) == 0) {
        _mm_mask_storeu_epi8(out, u.taken, _mm512_cvtepi32_epi8(u.bytes));
    } else if (u.triples == 0) {
        const __m256i words = _mm512_cvtepi32_epi16(u.bytes);
        const std::uint32_t keep = _pdep_u32(u.taken, 0x55555555u) | _pdep_u32(u.pairs, 0xAAAAAAAAu);
        const __m256i packed = _mm256_maskz_compress_epi8(keep, words);
        const auto length = static_cast<unsigned>(__builtin_popcount(keep));
        _mm256_mask_storeu_epi8(out, static_cast<__mmask32>((std::uint64_t{1} << length) - 1), packed);
    } else {
        const std::uint64_t keep = _pdep_u64(u.taken, 0x1111111111111111ull) |
                                   _pdep_u64(u.pairs | u.triples, 0x2222222222222222ull) |
                                   _pdep_u64(u.triples, 0x4444444444444444ull);
        const __m512i packed = _mm512_maskz_compress_epi8(keep, u.bytes);
        _mm512_mask_storeu_epi8(out, _bzhi_u64(~0ull, static_cast<unsigned>(__builtin_popcountll(keep))), packed);
    }
}

// Encodes whole blocks while they last.
BRIM_AVX512 inline void EncodeBlocks(const EncodeVectors& v, const wchar_t* s, std::size_t n, std::size_t& at,
                                     char* dst, std::size_t capacity, std::size_t& made) {
    std::size_t i = at, o = made;
    while (n - i >= kUnits && capacity - o >= 3 * kUnits) {
        const Units u = Look(v, s + i);
        StoreBytes(u, dst + o);
        const std::size_t extra =
            static_cast<std::size_t>(__builtin_popcount(u.pairs)) + 2 * static_cast<std::size_t>(__builtin_popcount(u.triples));
        // A whole block moves i by a constant (a branch, not a select), so
        // that the next block's load does not wait for this one's lookups.
        if (__builtin_expect(!u.stopped, 1)) {
            i += kUnits;
            o += kUnits + extra;
            continue;
        }
        const auto units = static_cast<std::size_t>(__builtin_popcount(u.taken));
        i += units;
        o += units + extra;
        break;
    }
    at = i;
    made = o;
}

// Counts whole blocks while they last: a block of ASCII and of the page's
// run of pairs without a table, any other by the widths (the bytes past the
// first of each unit, summed in lanes until the end), stopping where the
// write loop would.
BRIM_AVX512 inline void CountBlocks(const EncodeVectors& v, const wchar_t* s, std::size_t n, std::size_t& at,
                                    std::size_t& made) {
    std::size_t i = at, o = made;
    const __m512i first = _mm512_set1_epi32(static_cast<int>(v.pairsFirst));
    const __m512i last = _mm512_set1_epi32(static_cast<int>(v.pairsLast));
    const __m512i three = _mm512_set1_epi32(static_cast<int>(kWidthStop));
    __m512i extra = _mm512_setzero_si512();
    while (n - i >= kUnits) {
        const __m512i c = _mm512_loadu_si512(s + i);
        const __mmask16 pairs = _mm512_cmpge_epu32_mask(c, first) & _mm512_cmple_epu32_mask(c, last);
        if ((_mm512_cmplt_epu32_mask(c, _mm512_set1_epi32(0x80)) | pairs) == 0xFFFF) {
            i += kUnits;
            o += kUnits + static_cast<std::size_t>(__builtin_popcount(pairs));
            continue;
        }
        const __mmask16 plane = _mm512_cmple_epu32_mask(c, _mm512_set1_epi32(0xFFFF));
        const __m512i point = _mm512_min_epu32(c, _mm512_set1_epi32(0xFFFF));
        const __m512i word = _mm512_i32gather_epi32(_mm512_srli_epi32(point, 4), v.widths, 4);
        const __m512i shift = _mm512_slli_epi32(_mm512_and_si512(point, _mm512_set1_epi32(15)), 1);
        const __m512i width = _mm512_and_si512(_mm512_srlv_epi32(word, shift), three);
        const auto stop = static_cast<__mmask16>(~plane | _mm512_cmpeq_epi32_mask(width, three));
        if (__builtin_expect(stop == 0, 1)) {
            extra = _mm512_add_epi32(extra, width);
            i += kUnits;
            o += kUnits;
            continue;
        }
        const auto taken = static_cast<__mmask16>((1u << __builtin_ctz(stop)) - 1);
        extra = _mm512_mask_add_epi32(extra, taken, extra, width);
        i += static_cast<std::size_t>(__builtin_popcount(taken));
        o += static_cast<std::size_t>(__builtin_popcount(taken));
        break;
    }
    // Each lane adds at most 2 a block: it holds the sum of 2^35 units.
    alignas(64) std::uint32_t lanes[kUnits];
    _mm512_store_si512(lanes, extra);
    for (std::uint32_t lane : lanes) o += lane;
    at = i;
    made = o;
}

}  // namespace

BRIM_AVX512 void Encode(const EncodeVectors& v, const wchar_t* s, std::size_t n, std::size_t& i, char* dst,
                        std::size_t capacity, std::size_t& o) {
    EncodeBlocks(v, s, n, i, dst, capacity, o);
}

BRIM_AVX512 void EncodeCount(const EncodeVectors& v, const wchar_t* s, std::size_t n, std::size_t& i,
                             std::size_t& count) {
    CountBlocks(v, s, n, i, count);
}

}  // namespace brim::platform::mbcs::avx512
#endif
