// The probers' chunk runners. Each gives the result of calling its step
// function byte by byte, but judges many bytes at once: the bytes are sorted
// into classes, one bit per byte, and the prober's rules are checked with bit
// operations on those masks.
//
// The masks come from eight-byte words everywhere, and from 64-byte blocks
// where the processor has vector instructions (SSE2, AVX2, AVX-512). A block
// run carries the rules' state from block to block (UTF-8 reads it again from
// the bytes before the block) and hands the last partial block, and the state
// at its start, to the word run, which ends with the step function; so a
// sequence cut by the end of the data leaves the state the step function would.

#include "text/encoding_detail.h"

#include "framework/codepages/cpu_features.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>
#include <utility>

#if BRIM_WIDE_VECTORS
#include <immintrin.h>
#define BRIM_PROBE_SSE2 1
#elif defined(__SSE2__)
#include <emmintrin.h>
#define BRIM_PROBE_SSE2 1
#else
#define BRIM_PROBE_SSE2 0
#endif

namespace brim::detail {
namespace {

using Prober = CBrimFile::Prober;
using Mask = std::uint64_t;

constexpr Mask kOnes = 0x0101010101010101ull;
constexpr Mask kTops = 0x8080808080808080ull;
constexpr Mask kOddBits = 0xAAAAAAAAAAAAAAAAull;

// ---- the rules, on masks -------------------------------------------------------

// UTF-8: only the bit patterns count. A byte must be a continuation (80..BF)
// exactly when a lead one, two or three bytes before it wants one (C0..FF,
// E0..FF, F0..FF); F8..FF fits nowhere.
Mask Utf8Errors(Mask cont, Mask wanted, Mask bad) { return (wanted ^ cont) | bad; }

// The rule on the top bits of eight-byte words, the leads carried from word to word.
class Utf8WordRule {
public:
    Mask Errors(Mask w) {
        const Mask b7 = w & kTops, b6 = (w << 1) & kTops, b5 = (w << 2) & kTops;
        const Mask b4 = (w << 3) & kTops, b3 = (w << 4) & kTops;
        const Mask lead1 = b7 & b6, lead2 = lead1 & b5, lead3 = lead2 & b4;
        const Mask wanted = (lead1 << 8) | (lead1_ >> 56) | (lead2 << 16) | (lead2_ >> 48) | (lead3 << 24) | (lead3_ >> 40);
        lead1_ = lead1;
        lead2_ = lead2;
        lead3_ = lead3;
        return Utf8Errors(b7 & ~b6, wanted, lead3 & b3);
    }
    bool Open() const { return (lead1_ | lead2_ | lead3_) != 0; }

private:
    Mask lead1_ = 0, lead2_ = 0, lead3_ = 0;
};

// Korean double-byte classes: bytes of 80 and above; bytes bad wherever they
// stand; the leads that want a trail of kind A (the others want kind B); the
// bytes fit to be a trail of each kind.
struct KoreanClasses {
    Mask nonAscii, bad, leadA, trailA, trailB;
};

// In both encodings a byte of 80 or above met in the start state is a lead,
// and the byte after it is its trail whatever that byte is. So the leads are
// the non-ASCII bytes at even offsets of each run of non-ASCII bytes. Masks
// of kWidth bits, byte j at bit j.
template <int kWidth>
class KoreanRule {
public:
    explicit KoreanRule(int state) : owed_(state != 0 ? 1 : 0), owedA_(state == 1 ? 1 : 0) {}

    Mask Errors(const KoreanClasses& c) {
        const Mask runs = c.nonAscii;
        // The leads if no trail is owed from before. Subtracting the runs from
        // themselves moved up a bit, with the odd bits set, borrows through
        // each run and leaves its bits at even offsets from its start flipped
        // against the odd bits.
        const Mask leadsAlone = ((((runs << 1) | kOddBits) - runs) ^ kOddBits) & runs;
        // A trail owed from before turns the roles round in the run at the
        // start (adding one carries through that run and clears it).
        const Mask firstRun = runs & ~(runs + 1);
        const Mask leads = leadsAlone ^ (firstRun & (0 - owed_));
        const Mask leadsA = leads & c.leadA, leadsB = leads & ~c.leadA;
        const Mask trailsA = ((leadsA << 1) & kAll) | (owed_ & owedA_);
        const Mask trailsB = ((leadsB << 1) & kAll) | (owed_ & ~owedA_);
        // Whether the last byte is a lead waits on the state before only when
        // every byte is non-ASCII; its kind never does. This keeps the chain
        // from mask to mask short.
        owed_ = (leadsAlone >> (kWidth - 1)) ^ ((firstRun >> (kWidth - 1)) & owed_);
        owedA_ = (c.leadA >> (kWidth - 1)) & 1;
        return c.bad | (trailsA & ~c.trailA) | (trailsB & ~c.trailB);
    }
    bool Open() const { return owed_ != 0; }
    // The step function's state after the bytes seen.
    int State() const { return owed_ == 0 ? 0 : owedA_ != 0 ? 1 : 2; }

private:
    static constexpr Mask kAll = kWidth == 64 ? ~Mask{0} : (Mask{1} << kWidth) - 1;
    Mask owed_;    // 1 when the last byte seen is a lead
    Mask owedA_;   // 1 when that lead wants a trail of kind A
};

// ---- the byte classes of each prober ---------------------------------------------

// The bytes in lo..hi, each seen from `back` bytes after it.
struct ByteRange {
    unsigned lo, hi, back = 0;
};

constexpr ByteRange kAsciiRanges[] = {{0x80, 0xFF}};
struct AsciiJudge {
    Mask operator()(const Mask* m) const { return m[0]; }
};

// The leads before a byte are read again from the bytes before its block, so
// the rule carries nothing from block to block. Ranges that each take one
// comparison: continuations are the high bytes that are no leads.
constexpr ByteRange kUtf8Ranges[] = {{0x80, 0xFF}, {0xC0, 0xFF}, {0xC0, 0xFF, 1}, {0xE0, 0xFF, 2}, {0xF0, 0xFF, 3}, {0xF8, 0xFF}};
constexpr unsigned kUtf8Back = 3;
struct Utf8Judge {
    Mask operator()(const Mask* m) const { return Utf8Errors(m[0] & ~m[1], m[2] | m[3] | m[4], m[5]); }
};

// EUC-KR: every lead (A1..FE) wants a trail in A1..FE; 80..A0 and FF are bad.
constexpr ByteRange kEucKrRanges[] = {{0x80, 0xFF}, {0xA1, 0xFE}};
KoreanClasses EucKrFromRanges(const Mask* m) { return {m[0], m[0] & ~m[1], m[0], m[1], 0}; }

// CP949: leads 81..C5 want 41..5A, 61..7A or 81..FE; leads C6..FE want A1..FE;
// 80 and FF are bad.
constexpr ByteRange kCp949Ranges[] = {{0x80, 0xFF}, {0x81, 0xFE}, {0x81, 0xC5}, {0x41, 0x5A}, {0x61, 0x7A}, {0xA1, 0xFE}};
KoreanClasses Cp949FromRanges(const Mask* m) { return {m[0], m[0] & ~m[1], m[2], m[1] | m[3] | m[4], m[5]}; }

template <KoreanClasses (*kClassesOf)(const Mask*)>
struct KoreanJudge {
    KoreanRule<64> rule;
    Mask operator()(const Mask* m) { return rule.Errors(kClassesOf(m)); }
};
using EucKrJudge = KoreanJudge<EucKrFromRanges>;

// ---- masks of eight-byte words ----------------------------------------------------

// Eight bytes, the first in the lowest bits.
Mask Load(const unsigned char* p) {
    Mask w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) {
        Mask r = 0;
        for (int k = 0; k < 8; ++k) r |= ((w >> (8 * k)) & 0xFF) << (8 * (7 - k));
        w = r;
    }
    return w;
}

bool AllSevenBit(Mask w) { return (w & kTops) == 0; }

// The top bits of a byte mask as eight bits, byte j at bit j.
Mask Compress(Mask tops) { return ((tops >> 7) * 0x0102040810204080ull) >> 56; }

// Bytes whose low seven bits lie in lo..hi (0 <= lo <= hi <= 7F), at the top
// bit of each byte; exact, since no sum carries out of its byte.
Mask LowBitsIn(Mask low7, unsigned lo, unsigned hi) {
    const Mask atLeast = (low7 + kOnes * (0x80 - lo)) & kTops;
    const Mask atMost = ~(low7 + kOnes * (0x7F - hi)) & kTops;
    return atLeast & atMost;
}

// Bytes of w in r, at the top bit of each byte.
Mask WordRange(Mask w, ByteRange r) {
    const Mask top = w & kTops, low7 = w & ~kTops;
    Mask in = 0;
    if (r.lo < 0x80) in |= ~top & LowBitsIn(low7, r.lo, std::min(r.hi, 0x7Fu));
    if (r.hi >= 0x80) in |= top & LowBitsIn(low7, std::max(r.lo, 0x80u) - 0x80, r.hi - 0x80);
    return in;
}

// The masks of kRanges for one word, eight bits each.
template <const auto& kRanges, std::size_t... K>
void WordMasks(Mask w, Mask* out, std::index_sequence<K...>) {
    ((out[K] = Compress(WordRange(w, kRanges[K]))), ...);
}

// ---- masks of 64-byte blocks --------------------------------------------------------
// Each vector width has a loop that classifies a block into the masks of a
// prober's ranges and hands them to the rule at once, so that the vector and
// the scalar halves of the work overlap.

constexpr unsigned int kBlock = 64;
// Blocks judged between looks at the verdict: a rejection stops the run
// within 4 KiB, and the loops' setup is paid once per 4 KiB.
constexpr std::size_t kBatch = 64;

#if BRIM_WIDE_VECTORS
[[gnu::target("avx512f,avx512bw,bmi,bmi2"), gnu::always_inline]] inline Mask Range512(__m512i v, ByteRange r) {
    if (r.lo == 0x80 && r.hi == 0xFF) return _mm512_movepi8_mask(v);
    if (r.hi == 0xFF) return _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(r.lo)));
    const __m512i shifted = _mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(r.lo)));
    return _mm512_cmple_epu8_mask(shifted, _mm512_set1_epi8(static_cast<char>(r.hi - r.lo)));
}

template <const auto& kRanges, typename Judge, std::size_t... K>
[[gnu::target("avx512f,avx512bw,bmi,bmi2")]] Mask Blocks512(const unsigned char* d, std::size_t blocks, Judge& judge) {
    Judge local = judge;   // in registers for the loop
    Mask errors = 0;
    for (std::size_t b = 0; b < blocks; ++b, d += kBlock) {
        const Mask masks[] = {Range512(_mm512_loadu_si512(d - kRanges[K].back), kRanges[K])...};
        errors |= local(masks);
    }
    judge = local;
    return errors;
}

// UTF-8 wants no masks on AVX-512: a byte's top bit after a saturating
// subtraction of T - 80 tells whether it is T or above, so the rule is checked
// on whole vectors, and the masks the other loops pay for are left out. The
// bytes one, two and three back come from the previous block's register
// (loads that straddle cache lines cost more).
[[gnu::target("avx512f,avx512bw,bmi,bmi2")]] Mask Utf8Blocks512(const unsigned char* d, std::size_t blocks, Utf8Judge&) {
    const __m512i from40 = _mm512_set1_epi8(0x40), from60 = _mm512_set1_epi8(0x60), from70 = _mm512_set1_epi8(0x70);
    unsigned char before[kBlock] = {};
    std::memcpy(before + kBlock - kUtf8Back, d - kUtf8Back, kUtf8Back);
    __m512i previous = _mm512_loadu_si512(before);
    __m512i broken = _mm512_setzero_si512(), highest = _mm512_setzero_si512();
    for (std::size_t b = 0; b < blocks; ++b, d += kBlock) {
        const __m512i v = _mm512_loadu_si512(d);
        // Each 16-byte lane beside the one before it, then shifted by bytes.
        // (The zero-masking form: GCC's header warns on the plain one.)
        const __m512i lanesBack = _mm512_maskz_alignr_epi32(0xFFFF, v, previous, 12);
        // At the top bit: a lead one, two or three bytes back wants this byte.
        const __m512i wanted = _mm512_ternarylogic_epi32(_mm512_subs_epu8(_mm512_alignr_epi8(v, lanesBack, 15), from40),
                                                         _mm512_subs_epu8(_mm512_alignr_epi8(v, lanesBack, 14), from60),
                                                         _mm512_subs_epu8(_mm512_alignr_epi8(v, lanesBack, 13), from70), 0xFE);
        // A continuation is a high byte that is no lead (C0 and above).
        const __m512i cont = _mm512_xor_si512(v, _mm512_subs_epu8(v, from40));
        broken = _mm512_ternarylogic_epi32(broken, wanted, cont, 0xF6);   // broken | (wanted ^ cont)
        highest = _mm512_max_epu8(highest, v);
        previous = v;
    }
    return _mm512_movepi8_mask(broken) | _mm512_cmpge_epu8_mask(highest, _mm512_set1_epi8(static_cast<char>(0xF8)));
}

// EUC-KR on AVX-512: leads and trails are both A1..FE, so the text is good
// when those are its only high bytes and every run of them has an even
// length; that is, when a running parity of the high bytes (a carry-less
// multiplication by all ones) is even at every ASCII byte. The chain from
// block to block is then two steps long.
[[gnu::target("avx512f,avx512bw,bmi,bmi2,pclmul")]] Mask EucKrBlocks512(const unsigned char* d, std::size_t blocks,
                                                                     EucKrJudge& judge) {
    const __m128i ones = _mm_set1_epi8(-1);
    Mask owed = judge.rule.State() != 0 ? ~Mask{0} : 0, errors = 0;
    for (std::size_t b = 0; b < blocks; ++b, d += kBlock) {
        const __m512i v = _mm512_loadu_si512(d);
        const Mask high = Range512(v, kEucKrRanges[0]), fit = Range512(v, kEucKrRanges[1]);
        const __m128i highs = _mm_cvtsi64_si128(static_cast<long long>(high));
        const Mask odd = static_cast<Mask>(_mm_cvtsi128_si64(_mm_clmulepi64_si128(highs, ones, 0))) ^ owed;
        errors |= (odd & ~high) | (high & ~fit);
        owed = 0 - (odd >> 63);
    }
    judge.rule = KoreanRule<64>(owed != 0 ? 1 : 0);
    return errors;
}

using Cp949Judge = KoreanJudge<Cp949FromRanges>;

// CP949 on AVX-512: while every run of high bytes has an even length, every
// pair is two high bytes, and the leads are the high bytes at odd running
// parity, as in EUC-KR. Then only 80 and FF, and a trail below A1 after a
// lead of C6 or above, break the rule. A block with an ASCII byte at odd
// parity (an ASCII trail, as most of the syllables CP949 adds have, or an
// error) is judged by the full rule.
[[gnu::target("avx512f,avx512bw,bmi,bmi2,pclmul")]] Mask Cp949Blocks512(const unsigned char* d, std::size_t blocks,
                                                                     Cp949Judge& judge) {
    const __m128i ones = _mm_set1_epi8(-1);
    const __m512i leadOfB = _mm512_set1_epi8(static_cast<char>(0xC6));
    // 1 when a lead is owed its trail, and when that lead is C6 or above:
    // masks, not branches, since a block ends on a lead about half the time.
    const int before = judge.rule.State();
    Mask owed = before != 0 ? 1 : 0, owedB = before == 2 ? 1 : 0, errors = 0;
    auto state = [&] { return owed == 0 ? 0 : owedB != 0 ? 2 : 1; };   // the rule's form of the two
    for (std::size_t b = 0; b < blocks; ++b, d += kBlock) {
        const __m512i v = _mm512_loadu_si512(d);
        const Mask high = _mm512_movepi8_mask(v);
        const __m128i highs = _mm_cvtsi64_si128(static_cast<long long>(high));
        const Mask odd = static_cast<Mask>(_mm_cvtsi128_si64(_mm_clmulepi64_si128(highs, ones, 0))) ^ (0 - owed);
        if ((odd & ~high) == 0) {
            const Mask bad = high & ~Range512(v, {0x81, 0xFE});
            const Mask leadsB = odd & _mm512_cmpge_epu8_mask(v, leadOfB);
            errors |= bad | (((leadsB << 1) | owedB) & ~Range512(v, {0xA1, 0xFE}));
            owed = odd >> 63;
            owedB = leadsB >> 63;
        } else {
            KoreanRule<64> rule(state());
            const Mask masks[] = {Range512(v, kCp949Ranges[0]), Range512(v, kCp949Ranges[1]),
                                  Range512(v, kCp949Ranges[2]), Range512(v, kCp949Ranges[3]),
                                  Range512(v, kCp949Ranges[4]), Range512(v, kCp949Ranges[5])};
            errors |= rule.Errors(Cp949FromRanges(masks));
            const int after = rule.State();
            owed = after != 0 ? 1 : 0;
            owedB = after == 2 ? 1 : 0;
        }
    }
    judge.rule = KoreanRule<64>(state());
    return errors;
}

// Without unsigned comparisons: x lies in lo..hi when min(x - lo, hi - lo) is x - lo.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline Mask Range256(__m256i v, ByteRange r) {
    if (r.lo == 0x80 && r.hi == 0xFF) return static_cast<std::uint32_t>(_mm256_movemask_epi8(v));
    const __m256i shifted = _mm256_sub_epi8(v, _mm256_set1_epi8(static_cast<char>(r.lo)));
    const __m256i in = _mm256_cmpeq_epi8(_mm256_min_epu8(shifted, _mm256_set1_epi8(static_cast<char>(r.hi - r.lo))), shifted);
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(in));
}

[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline __m256i Load256(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

template <const auto& kRanges, typename Judge, std::size_t... K>
[[gnu::target("avx2,bmi,bmi2")]] Mask Blocks256(const unsigned char* d, std::size_t blocks, Judge& judge) {
    Judge local = judge;
    Mask errors = 0;
    for (std::size_t b = 0; b < blocks; ++b, d += kBlock) {
        const Mask masks[] = {(Range256(Load256(d - kRanges[K].back), kRanges[K]) |
                               Range256(Load256(d + 32 - kRanges[K].back), kRanges[K]) << 32)...};
        errors |= local(masks);
    }
    judge = local;
    return errors;
}
#endif

#if BRIM_PROBE_SSE2
inline Mask Range128(__m128i v, ByteRange r) {
    if (r.lo == 0x80 && r.hi == 0xFF) return static_cast<std::uint32_t>(_mm_movemask_epi8(v));
    const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(r.lo)));
    const __m128i in = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(static_cast<char>(r.hi - r.lo))), shifted);
    return static_cast<std::uint32_t>(_mm_movemask_epi8(in));
}

// The masks of a range for 64 bytes from 16-byte pieces.
Mask Range128x4(const unsigned char* p, ByteRange r) {
    Mask m = 0;
    for (int q = 0; q < 4; ++q) m |= Range128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * q)), r) << 16 * q;
    return m;
}

template <const auto& kRanges, typename Judge, std::size_t... K>
Mask Blocks128(const unsigned char* d, std::size_t blocks, Judge& judge) {
    Judge local = judge;
    Mask errors = 0;
    for (std::size_t b = 0; b < blocks; ++b, d += kBlock) {
        const Mask masks[] = {Range128x4(d - kRanges[K].back, kRanges[K])...};
        errors |= local(masks);
    }
    judge = local;
    return errors;
}
#endif

// The block loop of a vector width, or null for none.
template <const auto& kRanges, typename Judge, std::size_t... K>
auto BlockLoopOf(ProbeVectors vectors, std::index_sequence<K...>) -> Mask (*)(const unsigned char*, std::size_t, Judge&) {
    switch (vectors) {
#if BRIM_WIDE_VECTORS
    case ProbeVectors::kAvx512:
        if constexpr (std::is_same_v<Judge, Utf8Judge>) return &Utf8Blocks512;
        if constexpr (std::is_same_v<Judge, EucKrJudge>) return &EucKrBlocks512;
        if constexpr (std::is_same_v<Judge, Cp949Judge>) return &Cp949Blocks512;
        return &Blocks512<kRanges, Judge, K...>;
    case ProbeVectors::kAvx2: return &Blocks256<kRanges, Judge, K...>;
#endif
#if BRIM_PROBE_SSE2
    case ProbeVectors::kSse2: return &Blocks128<kRanges, Judge, K...>;
#endif
    default: return nullptr;
    }
}

// Judges the whole blocks of d[i..n) with judge (masks -> bytes breaking the
// rule), moving i past them; false once a batch of blocks breaks the rule.
// The ranges may look back to d[0], no further.
template <const auto& kRanges, typename Judge>
bool RunBlocks(ProbeVectors vectors, const unsigned char* d, unsigned int& i, unsigned int n, Judge& judge) {
    const auto loop = BlockLoopOf<kRanges, Judge>(vectors, std::make_index_sequence<std::size(kRanges)>());
    if (loop == nullptr) return true;
    while (n - i >= kBlock) {
        const std::size_t blocks = std::min<std::size_t>(kBatch, (n - i) / kBlock);
        const Mask errors = loop(d + i, blocks, judge);
        i += static_cast<unsigned int>(blocks) * kBlock;
        if (errors != 0) return false;
    }
    return true;
}

// ---- the runners -----------------------------------------------------------------------

bool StepBytes(Prober& prober, const unsigned char* d, unsigned int& i, unsigned int end) {
    while (i < end && prober.bActive) prober.pfnProbe(&prober, d[i++]);
    return prober.bActive != 0;
}

// Steps through the rest of an open sequence; false when the prober rejected
// or the data ended first.
bool FinishSequence(Prober& prober, const unsigned char* d, unsigned int& i, unsigned int end) {
    while (i < end && prober.bActive && prober.nState != 0) prober.pfnProbe(&prober, d[i++]);
    return prober.bActive != 0 && prober.nState == 0;
}

void RunAscii(Prober& prober, const unsigned char* d, unsigned int n, ProbeVectors vectors) {
    unsigned int i = 0;
    AsciiJudge judge;
    bool clean = RunBlocks<kAsciiRanges>(vectors, d, i, n, judge);
    // Words in pieces, so that text which is not 7-bit stops the run early.
    constexpr unsigned int kPiece = 1024;
    while (clean && i < n) {
        const unsigned int end = n - i > kPiece ? i + kPiece : n;
        Mask seen = 0;
        for (; i + 8 <= end; i += 8) seen |= Load(d + i);
        for (; i < end; ++i) seen |= d[i];
        clean = (seen & kTops) == 0;
    }
    if (!clean) prober.bActive = 0;
}

// Bytes the sequence begun by lead takes, itself included.
unsigned int Utf8Length(unsigned char lead) {
    if (lead >= 0xC0 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF7) return 4;
    return 1;
}

// The continuations still owed at end by a lead just before it, for bytes
// d[start..end) that broke no rule (those before start are not read).
int Utf8Owed(const unsigned char* d, unsigned int start, unsigned int end) {
    int owed = 0;
    for (unsigned int k = end - std::min(end - start, 3u); k < end; ++k) {
        const unsigned int len = Utf8Length(d[k]);
        if (k + len > end) owed = static_cast<int>(k + len - end);
    }
    return owed;
}

void RunUtf8(Prober& prober, const unsigned char* d, unsigned int n, ProbeVectors vectors) {
    // The first bytes one at a time: they end any sequence begun before d,
    // and blocks read the bytes before them.
    unsigned int i = 0;
    if (!StepBytes(prober, d, i, std::min(n, kUtf8Back))) return;
    const unsigned int blocksFrom = i;
    Utf8Judge judge;
    if (!RunBlocks<kUtf8Ranges>(vectors, d, i, n, judge)) {
        prober.bActive = 0;
        return;
    }
    if (i != blocksFrom) prober.nState = Utf8Owed(d, 0, i);
    if (!FinishSequence(prober, d, i, n)) return;
    const unsigned int start = i;
    Utf8WordRule rule;
    Mask errors = 0;
    for (; i + 8 <= n; i += 8) {
        const Mask w = Load(d + i);
        if (AllSevenBit(w) && !rule.Open()) continue;
        errors |= rule.Errors(w);
    }
    if (errors != 0) {
        prober.bActive = 0;
        return;
    }
    prober.nState = Utf8Owed(d, start, i);
    StepBytes(prober, d, i, n);
}

template <const auto& kRanges, KoreanClasses (*kClassesOf)(const Mask*)>
void RunKorean(Prober& prober, const unsigned char* d, unsigned int n, ProbeVectors vectors) {
    unsigned int i = 0;
    KoreanJudge<kClassesOf> judge{KoreanRule<64>(prober.nState)};
    if (!RunBlocks<kRanges>(vectors, d, i, n, judge)) {
        prober.bActive = 0;
        return;
    }
    KoreanRule<8> rule(judge.rule.State());
    Mask errors = 0;
    for (; i + 8 <= n; i += 8) {
        const Mask w = Load(d + i);
        if (AllSevenBit(w) && !rule.Open()) continue;
        Mask m[std::size(kRanges)];
        WordMasks<kRanges>(w, m, std::make_index_sequence<std::size(kRanges)>());
        errors |= rule.Errors(kClassesOf(m));
    }
    if (errors != 0) {
        prober.bActive = 0;
        return;
    }
    prober.nState = rule.State();
    StepBytes(prober, d, i, n);
}

}  // namespace

ProbeVectors BestProbeVectors() {
    if (CpuHasAvx512()) return ProbeVectors::kAvx512;
    if (CpuHasAvx2()) return ProbeVectors::kAvx2;
    return BRIM_PROBE_SSE2 ? ProbeVectors::kSse2 : ProbeVectors::kNone;
}

void RunProber(int index, CBrimFile::Prober& prober, const unsigned char* data, unsigned int n, ProbeVectors vectors) {
    vectors = std::min(vectors, BestProbeVectors());
    switch (index) {
    case 0: RunAscii(prober, data, n, vectors); break;
    case 1: RunUtf8(prober, data, n, vectors); break;
    case 2: RunKorean<kEucKrRanges, EucKrFromRanges>(prober, data, n, vectors); break;
    default: RunKorean<kCp949Ranges, Cp949FromRanges>(prober, data, n, vectors); break;
    }
}

}  // namespace brim::detail
