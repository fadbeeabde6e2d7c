// The vector loops of the table-driven code pages (x86-64 outside Windows,
// AVX-512 with VBMI2, picked at run time). Each loop converts (or counts) a
// leading part of its input from position i on and leaves i, and the output
// position, at the first step it does not take itself: one the tables decide
// in a way the loop does not replay (an unmapped byte or pair, a pair iconv
// takes and refuses, a single high byte, a code point outside the basic
// plane), or the last few units of the input. The table loops in
// mbcs_posix.cpp take that step and call again, so the tables alone define
// the results.
#pragma once

#include "framework/codepages/cpu_features.h"

#include <cstddef>
#include <cstdint>

namespace brim::platform::mbcs {

// Pair entries of a decoding table besides a character.
constexpr std::uint16_t kPairInvalid = 0;   // substituted, one byte stepped over
constexpr std::uint16_t kPairTaken = 1;     // iconv took the pair and failed: substituted, three bytes stepped over
// Entries of letterAccent below this number the letter held then (a letter
// and accent that combine into one held for another accent).
constexpr std::uint16_t kStillHeldLetters = 32;
// letterAccent's entries, read in 64-entry pieces from registers.
constexpr std::size_t kLetterAccentPieces = 16;
// The flag of heldAccent's entries besides the character: the accent combined.
constexpr std::uint32_t kAccentTaken = 1u << 16;

// Entries of an encoding table besides bytes: a pair of bytes (lead << 8 |
// trail, the lead 2 or more) or one byte (0x100 | byte).
constexpr std::uint16_t kUnitInvalid = 0;   // '?'
constexpr std::uint16_t kUnitNothing = 1;   // converted to no bytes at all
constexpr std::uint16_t kUnitTaken = 2;     // iconv took it and failed: '?', the next unit stepped over
constexpr std::uint16_t kUnitLonger = 3;    // more than two bytes, kept apart
constexpr std::uint16_t kUnitPairs = 0x200;  // and above: a pair of bytes

// What the decoding loop reads of a double-byte page. Bytes are looked up by
// their low seven bits (the loop asks only about bytes 0x80 and above). A
// lead's pair with a trail in one of its ranges, or with an ASCII letter when
// letters is set, is sure to be a character; any other pair is left to the
// table loop. Most leads share one range of trails (A1-FE in CP949); the
// loop looks at the others only where a pair falls outside it.
constexpr unsigned char kLead = 1;
constexpr unsigned char kLeadOfCommonTrails = 2;   // every trail of the common range gives a character

struct DecodeVectors {
    const std::uint16_t* pair;   // the table's pairs by (lead - 0x80) << 8 | trail, readable one entry past the end
    unsigned char commonFirst, commonLast;                     // the common range of trails
    alignas(64) unsigned char lead[128];                       // kLead | kLeadOfCommonTrails
    alignas(64) unsigned char highFirst[128], highLast[128];   // trails 0x80-0xFF
    alignas(64) unsigned char lowFirst[128], lowLast[128];     // trails 0x00-0x7F
    alignas(64) unsigned char letters[128];                    // 0xFF: every ASCII letter
    alignas(64) std::uint16_t single[128];   // a high byte's character (the substitute) where it is no lead
    alignas(64) unsigned char accent[128];   // an accent the byte before may combine with: its number from 1
    bool combines;                           // the page combines letters with accents
    // Where it combines: the number from 1 of each letter that combines
    // with an accent; by letter number * (accents + 1) + accent number, the
    // character they make, 0 where they do not combine, or below
    // kStillHeldLetters the number of the letter held then (pieces: of 64
    // entries, kLetterAccentPieces at most; 0 where the page's do not fit,
    // or a letter is held for a third accent, and the vector loop is not
    // used); by (that number - 1) << 8 | next byte, the character given out
    // with kAccentTaken.
    alignas(64) unsigned char letterNumber[256];
    unsigned accents;
    unsigned pieces;
    alignas(64) std::uint16_t letterAccent[64 * kLetterAccentPieces];
    const std::uint32_t* heldAccent;
};

// A code point the encoder gives more than two bytes (kUnitLonger).
struct LongerUnit {
    std::uint32_t c;
    std::uint32_t length;
    unsigned char bytes[8];
};

// A code point's entry in EncodeVectors::widths: the bytes it gives past the
// first (0 to 2), or kWidthStop where the loop leaves the step to the tables.
constexpr std::uint32_t kWidthStop = 3;

// What the encoding loop reads of a page: its table of the basic plane
// (readable one entry past its end), the widest run of code points that
// all give a pair of bytes (CP949's syllables), which the count takes
// without the table, and two windows of 128 code points looked up in
// registers (U+0080 on, and the block that gives most single bytes after
// it: the page's own script): their bytes, 0 for those the table decides.
// Only a page of single bytes has them: on the others they would only add
// to the table's lookups.
struct EncodeVectors {
    const std::uint16_t* unit;
    // For the count: two bits a code point of the basic plane (sixteen to a
    // word, the lowest first), 16 KiB against the unit table's 128.
    const std::uint32_t* widths;
    const LongerUnit* longer;   // the page's few kUnitLonger code points
    std::size_t longerCount;
    std::uint32_t pairsFirst, pairsLast;
    bool windows;
    std::uint32_t windowFirst[2];
    alignas(64) unsigned char window[2][128];
};

// A kUnitLonger code point's entry in the page's short list.
inline const LongerUnit* LongerOf(const EncodeVectors& v, std::uint32_t c) {
    for (std::size_t k = 0; k < v.longerCount; ++k) {
        if (v.longer[k].c == c) return &v.longer[k];
    }
    return nullptr;
}

#if BRIM_WIDE_VECTORS
namespace avx512 {

// Decoding takes 64 bytes at a time and reads one past them; it leaves the
// last 64 (and stops with less than 64 units of room).
void Decode(const DecodeVectors& v, const unsigned char* s, std::size_t n, std::size_t& i, wchar_t* dst,
            std::size_t capacity, std::size_t& o);
void DecodeCount(const DecodeVectors& v, const unsigned char* s, std::size_t n, std::size_t& i, std::size_t& count);

// A page without leads, 32 bytes at a time (it stops with less than 32 bytes
// or units of room left; where it combines, it reads two bytes more).
void DecodeSingle(const DecodeVectors& v, const unsigned char* s, std::size_t n, std::size_t& i, wchar_t* dst,
                  std::size_t capacity, std::size_t& o);
void DecodeSingleCount(const DecodeVectors& v, const unsigned char* s, std::size_t n, std::size_t& i,
                       std::size_t& count);

// Encoding takes 16 units at a time and stops with less than 48 bytes of room.
void Encode(const EncodeVectors& v, const wchar_t* s, std::size_t n, std::size_t& i, char* dst, std::size_t capacity,
            std::size_t& o);
void EncodeCount(const EncodeVectors& v, const wchar_t* s, std::size_t n, std::size_t& i, std::size_t& count);

}  // namespace avx512
#endif

}  // namespace brim::platform::mbcs
