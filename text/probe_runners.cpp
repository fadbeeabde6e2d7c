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

// Every byte in A1..FE: a run of four double-byte characters in both Korean
// encodings when it starts at a character boundary.
bool AllKoreanPairBytes(std::uint64_t w) {
    if ((w & kTops) != kTops) return false;
    const std::uint64_t y = w ^ kTops;                                  // A1..FE -> 21..7E
    const std::uint64_t below21 = (y - kOnes * 0x21) & ~y & kTops;     // some byte < 0x21
    const std::uint64_t above7E = ((y + kOnes * (127 - 0x7E)) | y) & kTops;   // some byte > 0x7E
    return (below21 | above7E) == 0;
}

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

// Both Korean encodings: in the start state, words of 7-bit bytes and words
// of four A1..FE pairs leave the prober as it was.
void RunKorean(Prober& prober, const unsigned char* d, unsigned int n) {
    unsigned int i = 0;
    while (i < n) {
        if (prober.nState == 0) {
            while (i + 8 <= n) {
                const std::uint64_t w = Load(d + i);
                if (!AllSevenBit(w) && !AllKoreanPairBytes(w)) break;
                i += 8;
            }
        }
        if (!StepBytes(prober, d, i, i + 8 < n ? i + 8 : n)) return;
    }
}

}  // namespace

void RunProber(int index, CBrimFile::Prober& prober, const unsigned char* data, unsigned int n) {
    switch (index) {
    case 0: RunAscii(prober, data, n); break;
    case 1: RunUtf8(prober, data, n); break;
    default: RunKorean(prober, data, n); break;
    }
}

}  // namespace brim::detail
