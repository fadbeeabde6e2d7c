// The probers' chunk runners. Each one gives the result of calling its step
// function byte by byte, but judges eight bytes at once where it can: a word
// of 7-bit bytes changes no prober in its start state, and the UTF-8 rules
// (only the bit patterns of leads and continuations count) can be checked for
// a whole word with bit operations.

#include "text/encoding_detail.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace brim::detail {
namespace {

using Prober = CBrimFile::Prober;

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kTops = 0x8080808080808080ull;

// Eight bytes, the first in the lowest bits.
std::uint64_t Load(const unsigned char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t r = 0;
        for (int k = 0; k < 8; ++k) r |= ((w >> (8 * k)) & 0xFF) << (8 * (7 - k));
        w = r;
    }
    return w;
}

bool AllSevenBit(std::uint64_t w) { return (w & kTops) == 0; }

void RunAscii(Prober& prober, const unsigned char* d, unsigned int n) {
    std::uint64_t seen = 0;
    unsigned int i = 0;
    for (; i + 8 <= n; i += 8) seen |= Load(d + i);
    for (; i < n; ++i) seen |= d[i];
    if ((seen & kTops) != 0) prober.bActive = 0;
}

// Bytes the sequence begun by lead takes, itself included.
unsigned int Utf8Length(unsigned char lead) {
    if (lead >= 0xC0 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF7) return 4;
    return 1;
}

bool StepBytes(Prober& prober, const unsigned char* d, unsigned int& i, unsigned int end) {
    while (i < end && prober.bActive) prober.pfnProbe(&prober, d[i++]);
    return prober.bActive != 0;
}

void RunUtf8(Prober& prober, const unsigned char* d, unsigned int n) {
    unsigned int i = 0;
    // Finish a sequence begun in the previous chunk.
    while (i < n && prober.nState != 0) {
        CBrimFile::_probeUtf8(&prober, d[i++]);
        if (!prober.bActive) return;
    }
    // Word at a time, from a character boundary. Per byte, at its top bit:
    // lead1 = 11xxxxxx (wants one continuation after it), lead2 = 111xxxxx
    // (a second one), lead3 = 1111xxxx (a third), bad = 11111xxx. Each byte
    // must be a continuation (10xxxxxx) exactly when a lead before it wants one.
    const unsigned int start = i;
    std::uint64_t prev1 = 0, prev2 = 0, prev3 = 0, errors = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t w = Load(d + i);
        if (AllSevenBit(w) && (prev1 | prev2 | prev3) == 0) continue;
        const std::uint64_t b7 = w & kTops, b6 = (w << 1) & kTops, b5 = (w << 2) & kTops;
        const std::uint64_t b4 = (w << 3) & kTops, b3 = (w << 4) & kTops;
        const std::uint64_t cont = b7 & ~b6;
        const std::uint64_t lead1 = b7 & b6, lead2 = lead1 & b5, lead3 = lead2 & b4;
        const std::uint64_t wanted = (lead1 << 8) | (prev1 >> 56) | (lead2 << 16) | (prev2 >> 48) |
                                     (lead3 << 24) | (prev3 >> 40);
        errors |= (wanted ^ cont) | (lead3 & b3);
        prev1 = lead1;
        prev2 = lead2;
        prev3 = lead3;
    }
    if (errors != 0) {
        prober.bActive = 0;
        return;
    }
    // The state at i: the continuations still owed by a lead just before it.
    int state = 0;
    for (unsigned int k = i - (i - start < 3 ? i - start : 3); k < i; ++k) {
        const unsigned int len = Utf8Length(d[k]);
        if (k + len > i) state = static_cast<int>(k + len - i);
    }
    prober.nState = state;
    StepBytes(prober, d, i, n);
}

// ---- the Korean double-byte probers ------------------------------------------
// In both encodings a byte of 80 or above met in the start state is a lead,
// and the byte after it is its trail whatever that byte is. So the leads are
// the non-ASCII bytes at even offsets of each run of non-ASCII bytes:
// lead[j] = nonAscii[j] && !lead[j-1]. A table gives, for the eight bytes of
// a word (one bit each) and whether the word begins with a trail, which of
// them are leads. Each pair is then checked against the encoding's byte
// ranges with masks.

struct LeadTable {
    unsigned char leads[2][256];
    LeadTable() {
        for (int trailFirst = 0; trailFirst < 2; ++trailFirst) {
            for (int mask = 0; mask < 256; ++mask) {
                bool previousLead = trailFirst != 0;
                unsigned char out = 0;
                for (int j = 0; j < 8; ++j) {
                    const bool lead = ((mask >> j) & 1) != 0 && !previousLead;
                    if (lead) out = static_cast<unsigned char>(out | (1u << j));
                    previousLead = lead;
                }
                leads[trailFirst][mask] = out;
            }
        }
    }
};
const LeadTable kLeadTable;

// The top bits of a byte mask as eight bits, byte j at bit j.
unsigned Compress(std::uint64_t tops) { return static_cast<unsigned>(((tops >> 7) * 0x0102040810204080ull) >> 56); }

// Bytes whose low seven bits lie in lo..hi (0 <= lo <= hi <= 7F), at the top
// bit of each byte; exact, since no sum carries out of its byte.
std::uint64_t LowBitsIn(std::uint64_t low7, unsigned lo, unsigned hi) {
    const std::uint64_t atLeast = (low7 + kOnes * (0x80 - lo)) & kTops;
    const std::uint64_t atMost = ~(low7 + kOnes * (0x7F - hi)) & kTops;
    return atLeast & atMost;
}

// Byte classes of one word, eight bits each.
struct KoreanClasses {
    unsigned nonAscii, bad, leadA, leadB, trailA, trailB;
};

// EUC-KR: every lead (A1..FE) wants a trail in A1..FE; 80..A0 and FF are bad.
KoreanClasses EucKrClasses(std::uint64_t w) {
    const std::uint64_t top = w & kTops, low7 = w & ~kTops;
    const unsigned nonAscii = Compress(top);
    const unsigned high = Compress(top & LowBitsIn(low7, 0x21, 0x7E));
    return {nonAscii, nonAscii & ~high, nonAscii, 0, high, 0};
}

// CP949: leads 81..C5 want 41..5A, 61..7A or 81..FE; leads C6..FE want A1..FE;
// 80 and FF are bad.
KoreanClasses Cp949Classes(std::uint64_t w) {
    const std::uint64_t top = w & kTops, low7 = w & ~kTops;
    const unsigned nonAscii = Compress(top);
    const unsigned usable = Compress(top & LowBitsIn(low7, 0x01, 0x7E));
    const unsigned leadA = Compress(top & LowBitsIn(low7, 0x01, 0x45));
    const unsigned letters = Compress(~top & (LowBitsIn(low7, 0x41, 0x5A) | LowBitsIn(low7, 0x61, 0x7A)) & kTops);
    const unsigned high = Compress(top & LowBitsIn(low7, 0x21, 0x7E));
    return {nonAscii, nonAscii & ~usable, leadA, usable & ~leadA, letters | usable, high};
}

template <typename Classes>
void RunKorean(Prober& prober, const unsigned char* d, unsigned int n, Classes classesOf) {
    unsigned int i = 0;
    // pendingA/B: the previous word ended on a lead of that kind.
    unsigned pendingA = prober.nState == 1 ? 1u : 0u, pendingB = prober.nState == 2 ? 1u : 0u;
    unsigned errors = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t w = Load(d + i);
        if (AllSevenBit(w) && (pendingA | pendingB) == 0) continue;
        const KoreanClasses c = classesOf(w);
        const unsigned leads = kLeadTable.leads[pendingA | pendingB][c.nonAscii];
        const unsigned trailsA = (((leads & c.leadA) << 1) | pendingA) & 0xFF;
        const unsigned trailsB = (((leads & c.leadB) << 1) | pendingB) & 0xFF;
        errors |= (c.bad & leads) | (trailsA & ~c.trailA) | (trailsB & ~c.trailB);
        // A bad byte that is a trail is caught by the trail ranges above.
        pendingA = ((leads & c.leadA) >> 7) & 1;
        pendingB = ((leads & c.leadB) >> 7) & 1;
    }
    if (errors != 0) {
        prober.bActive = 0;
        return;
    }
    prober.nState = pendingA != 0 ? 1 : pendingB != 0 ? 2 : 0;
    StepBytes(prober, d, i, n);
}

}  // namespace

void RunProber(int index, CBrimFile::Prober& prober, const unsigned char* data, unsigned int n) {
    switch (index) {
    case 0: RunAscii(prober, data, n); break;
    case 1: RunUtf8(prober, data, n); break;
    case 2: RunKorean(prober, data, n, EucKrClasses); break;
    default: RunKorean(prober, data, n, Cp949Classes); break;
    }
}

}  // namespace brim::detail
