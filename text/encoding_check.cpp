// Encoding detection: byte-order marks, then four probers side by side.
//
// The step functions are the definition of each prober. EncodingCheck gets
// the same answer faster: it runs one prober at a time in priority order, and
// each prober's chunk runner (text/probe_runners.cpp) judges a 64-byte block
// or an eight-byte word at once, falling back to the step function only at
// the end of a chunk. The byte-by-byte loop is kept as EncodingCheckByteWise,
// which the differential tests and fuzz target compare against.

#include <brim/text.h>

#include "text/encoding_detail.h"

#include <algorithm>

namespace {
constexpr unsigned char kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
constexpr unsigned char kUtf16BeBom[] = {0xFE, 0xFF};
constexpr unsigned char kUtf16LeBom[] = {0xFF, 0xFE};
constexpr unsigned char kUtf32BeBom[] = {0x00, 0x00, 0xFE, 0xFF};
constexpr unsigned char kUtf32LeBom[] = {0xFF, 0xFE, 0x00, 0x00};
constexpr unsigned char kScsuBom[] = {0x0E, 0xFE, 0xFF};
constexpr unsigned char kUtf7Bom0[] = {0x2B, 0x2F, 0x76, 0x38};
constexpr unsigned char kUtf7Bom1[] = {0x2B, 0x2F, 0x76, 0x39};
constexpr unsigned char kUtf7Bom2[] = {0x2B, 0x2F, 0x76, 0x2B};
constexpr unsigned char kUtf7Bom3[] = {0x2B, 0x2F, 0x76, 0x2F};
constexpr unsigned char kUtf7Bom4[] = {0x2B, 0x2F, 0x76, 0x38, 0x2D};
constexpr unsigned char kEbcdicBom[] = {0xDD, 0x73, 0x66, 0x73};
constexpr unsigned char kBocu1Bom[] = {0xFB, 0xEE, 0x28};

constexpr int kMarkCount = 13;
constexpr int kIdCount = 18;
constexpr int kFirstProberId = 13;
constexpr int kNotFound = 17;

// A prober that rejects stops within the chunk where it does.
constexpr unsigned int kChunk = 16 * 1024;

// The first mark that buf begins with, or -1.
int MarkOf(const unsigned char* buf, unsigned int size) {
    for (int id = 0; id < kMarkCount; ++id) {
        const CBrimFile::BomEntry& entry = CBrimFile::_bomTable[id];
        if (entry.nLength <= 0 || static_cast<unsigned int>(entry.nLength) <= size) {
            if (std::equal(entry.pBom, entry.pBom + std::max(entry.nLength, 0), buf)) return id;
        }
    }
    return -1;
}

int FirstActive(const CBrimFile::Prober* probers) {
    for (int p = 0; p < 4; ++p) {
        if (probers[p].bActive) return kFirstProberId + p;
    }
    return kNotFound;
}
}  // namespace

const wchar_t CBrimFile::_encodingNames[18][20] = {
    L"UTF8_BOM", L"UTF16_BE", L"UTF16_LE", L"UTF32_BE", L"UTF32_LE", L"SCSU",
    L"UTF7_0",   L"UTF7_1",   L"UTF7_2",   L"UTF7_3",   L"UTF7_4",   L"UTF_EBCDIC",
    L"BOCU_1",   L"ASCII",    L"UTF8_NOBOM", L"EUCKR",  L"CP949",    L"CANNOTFOUND"};

const CBrimFile::BomEntry CBrimFile::_bomTable[13] = {
    {3, kUtf8Bom},  {2, kUtf16BeBom}, {2, kUtf16LeBom}, {4, kUtf32BeBom}, {4, kUtf32LeBom},
    {3, kScsuBom},  {4, kUtf7Bom0},   {4, kUtf7Bom1},   {4, kUtf7Bom2},   {4, kUtf7Bom3},
    {5, kUtf7Bom4}, {4, kEbcdicBom},  {3, kBocu1Bom}};

const CBrimFile::Prober CBrimFile::_probers[4] = {
    {1, 0, &CBrimFile::_probeAscii},
    {1, 0, &CBrimFile::_probeUtf8},
    {1, 0, &CBrimFile::_probeEucKr},
    {1, 0, &CBrimFile::_probeCp949}};

void CBrimFile::_probeAscii(Prober* prober, unsigned char byte) {
    if (byte >= 0x80) prober->bActive = 0;
}

void CBrimFile::_probeUtf8(Prober* prober, unsigned char byte) {
    if (prober->nState == 0) {
        if (byte < 0x80) return;
        if (byte >= 0xC0 && byte <= 0xDF) prober->nState = 1;
        else if (byte >= 0xE0 && byte <= 0xEF) prober->nState = 2;
        else if (byte >= 0xF0 && byte <= 0xF7) prober->nState = 3;
        else prober->bActive = 0;   // a continuation byte, or F8..FF
    } else if (byte >= 0x80 && byte <= 0xBF) {
        --prober->nState;
    } else {
        prober->bActive = 0;
    }
}

void CBrimFile::_probeEucKr(Prober* prober, unsigned char byte) {
    const bool high = byte >= 0xA1 && byte <= 0xFE;
    if (prober->nState == 0) {
        if (byte < 0x80) return;
        if (high) prober->nState = 1;
        else prober->bActive = 0;
    } else if (high) {
        prober->nState = 0;
    } else {
        prober->bActive = 0;
    }
}

void CBrimFile::_probeCp949(Prober* prober, unsigned char byte) {
    switch (prober->nState) {
    case 0:
        if (byte < 0x80) return;
        if (byte >= 0x81 && byte <= 0xC5) prober->nState = 1;
        else if (byte >= 0xC6 && byte <= 0xFE) prober->nState = 2;
        else prober->bActive = 0;   // 80, FF
        return;
    case 1:
        if ((byte >= 0x41 && byte <= 0x5A) || (byte >= 0x61 && byte <= 0x7A) || (byte >= 0x81 && byte <= 0xFE)) {
            prober->nState = 0;
        } else {
            prober->bActive = 0;
        }
        return;
    default:
        if (byte >= 0xA1 && byte <= 0xFE) prober->nState = 0;
        else prober->bActive = 0;
        return;
    }
}

int CBrimFile::_isBomMatch(int id, unsigned char* buf) {
    if (id < 0 || id >= kMarkCount) return 0;   // no such mark in the table
    const BomEntry& entry = _bomTable[id];
    for (int k = 0; k < entry.nLength; ++k) {
        if (buf[k] != entry.pBom[k]) return 0;
    }
    return 1;
}

CStringW CBrimFile::GetEncodingName(int id) {
    if (id < 0 || id >= kIdCount) return CStringW();
    return CStringW(_encodingNames[id]);
}

int CBrimFile::EncodingCheck(unsigned char* buf, unsigned int size) {
    const int mark = MarkOf(buf, size);
    if (mark >= 0) return mark;
    // The answer is the first prober, in priority order, that takes every
    // byte; a prober's verdict does not depend on the others. So each one
    // runs alone, in chunks, until it rejects; those after it run only if it
    // does. Typical text is judged by one prober in one pass.
    for (int p = 0; p < 4; ++p) {
        Prober prober = _probers[p];
        for (unsigned int at = 0; at < size && prober.bActive; at += kChunk) {
            brim::detail::RunProber(p, prober, buf + at, std::min(kChunk, size - at));
        }
        if (prober.bActive) return kFirstProberId + p;
    }
    return kNotFound;
}

namespace brim::detail {

int EncodingCheckByteWise(const unsigned char* buf, unsigned int size) {
    const int mark = MarkOf(buf, size);
    if (mark >= 0) return mark;
    CBrimFile::Prober probers[4] = {CBrimFile::_probers[0], CBrimFile::_probers[1], CBrimFile::_probers[2],
                                    CBrimFile::_probers[3]};
    for (unsigned int i = 0; i < size; ++i) {
        int active = 0;
        for (CBrimFile::Prober& p : probers) {
            if (p.bActive) p.pfnProbe(&p, buf[i]);
            active += p.bActive ? 1 : 0;
        }
        if (active == 0) return kNotFound;
    }
    return FirstActive(probers);
}

}  // namespace brim::detail
