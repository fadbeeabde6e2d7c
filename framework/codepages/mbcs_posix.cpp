// Code pages through iconv, and through tables read from iconv: a character
// for each byte and lead/trail pair, a byte or two for each code point of the
// basic plane, and where the converter keeps a letter back to combine it with
// the accents after it (1255, 1258), what each held letter makes with each
// accent. The tables only replay what iconv did with each of those inputs; a
// converter that does anything the tables cannot replay (gives two
// characters for a pair, treats an ASCII byte as anything but itself)
// keeps going through iconv.

#include "framework/codepages/mbcs_posix.h"

#include "framework/codepages/mbcs_vectors.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace brim::platform::mbcs {
namespace {

iconv_t NoConverter() { return reinterpret_cast<iconv_t>(-1); }

struct KnownPage {
    unsigned codePage;
    const char* name;
};

constexpr KnownPage kPages[] = {
    {932, "CP932"},   {936, "CP936"},   {949, "CP949"},   {950, "CP950"},   {874, "CP874"},
    {1250, "CP1250"}, {1251, "CP1251"}, {1252, "CP1252"}, {1253, "CP1253"}, {1254, "CP1254"},
    {1255, "CP1255"}, {1256, "CP1256"}, {1257, "CP1257"}, {1258, "CP1258"}, {20127, "ASCII"},
    {28591, "ISO-8859-1"}, {51949, "EUC-KR"},
};
constexpr std::size_t kPageCount = std::size(kPages);

std::size_t PageIndex(unsigned codePage) {
    for (std::size_t i = 0; i < kPageCount; ++i) {
        if (kPages[i].codePage == codePage) return i;
    }
    return kPageCount;
}

// What Windows puts in place of what a code page cannot decode.
wchar_t Substitute(unsigned codePage) { return codePage == 932 ? L'\x30FB' : L'?'; }
constexpr char kDefaultByte = '?';

// One converter per direction and thread, kept for the code page it was made for.
struct Converter {
    unsigned codePage = 0;
    iconv_t cd = NoConverter();
    ~Converter() {
        if (cd != NoConverter()) iconv_close(cd);
    }
    bool Ready(unsigned cp, const char* to, const char* from) {
        if (cd != NoConverter() && codePage == cp) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);   // back to the initial state
            return true;
        }
        if (cd != NoConverter()) iconv_close(cd);
        cd = iconv_open(to, from);
        codePage = cp;
        return cd != NoConverter();
    }
};

thread_local Converter t_toWide;
thread_local Converter t_fromWide;

// iconv over the whole input: where it stops on what it cannot convert, one
// substitute and a step of one unit. Writes into dst (kMbcsOverflow when it
// has no room), or only counts. iconv works in a small block of its own: a
// converter that keeps a letter back asks for room for more than it gives.
// What it keeps back is asked for before each substitute and at the end, so
// that nothing is lost and the characters keep the order of their bytes.
template <typename In, typename Out>
std::size_t ThroughIconv(iconv_t cd, const In* src, std::size_t n, Out* dst, std::size_t capacity, Out substitute,
                         bool countOnly) {
    char* in = reinterpret_cast<char*>(const_cast<In*>(src));
    std::size_t inLeft = n * sizeof(In);
    Out block[256];
    std::size_t made = 0;
    auto put = [&](const Out* units, std::size_t count) {
        if (!countOnly) {
            if (capacity - made < count) return false;
            std::copy(units, units + count, dst + made);
        }
        made += count;
        return true;
    };
    // One call into the block and what it made put; from null, what the
    // converter holds back. False when dst has no room.
    auto convert = [&](char** from, std::size_t* left, std::size_t& r) {
        char* out = reinterpret_cast<char*>(block);
        std::size_t outLeft = sizeof block;
        r = iconv(cd, from, left, &out, &outLeft);
        return put(block, static_cast<std::size_t>(reinterpret_cast<Out*>(out) - block));
    };
    std::size_t r = 0;
    while (inLeft > 0) {
        if (!convert(&in, &inLeft, r)) return kMbcsOverflow;
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        if (!convert(nullptr, nullptr, r) || !put(&substitute, 1)) return kMbcsOverflow;
        const std::size_t step = std::min(sizeof(In), inLeft);
        in += step;
        inLeft -= step;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return convert(nullptr, nullptr, r) ? made : kMbcsOverflow;
}

// ---- decoding tables ------------------------------------------------------

constexpr std::int32_t kLeadByte = -1;      // a lead byte: the pair decides
constexpr std::int32_t kInvalidByte = -2;   // substituted

// What a held letter (or a letter it combined into and still holds) makes
// with an accent: the character, and the letter it still holds then (0: it
// gives the character out).
struct Combined {
    std::uint16_t character;   // 0: they do not combine
    std::uint8_t held;
};

constexpr std::size_t kMaxHeld = 255;   // letters held, by number from 1
constexpr std::size_t kMaxAccents = 32;

struct DecodeTable {
    wchar_t substitute;
    std::int32_t single[256];         // a character, kLeadByte or kInvalidByte
    std::uint16_t pair[128 * 256];    // by lead - 0x80 and trail: a character, kPairInvalid or kPairTaken
    std::uint16_t pairEnd[2];         // the vector loop reads 32 bits at each entry
    bool doubleByte;                  // the page has lead bytes
    bool combines;                    // the converter holds letters back for accents
    std::uint8_t held[256];           // the byte's held letter, 0: none
    std::uint8_t accent[256];         // the byte's accent, 0: none (only bytes 0x80 and above)
    std::size_t accents;
    std::vector<Combined> combined;   // by (held letter - 1) * accents + accent - 1
    std::vector<wchar_t> heldCharacter;        // by held letter: its character given out alone
    std::vector<std::uint32_t> heldAccent;     // for the vector loop: by (still held - 1) << 8 | next byte
    DecodeVectors vector;
};

// iconv on one short input from its initial state, then what it held back
// (heldBack: how many of the units made that was).
template <typename In, typename Out, std::size_t N>
int Probe(iconv_t cd, const In* src, std::size_t n, Out (&out)[N], std::size_t& taken, std::size_t& made,
          std::size_t* heldBack = nullptr) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<In*>(src));
    std::size_t inLeft = n * sizeof(In);
    char* o = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof out;
    const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    const int error = r == static_cast<std::size_t>(-1) ? errno : 0;
    char* const converted = o;
    iconv(cd, nullptr, nullptr, &o, &outLeft);
    taken = n - inLeft / sizeof(In);
    made = static_cast<std::size_t>(reinterpret_cast<Out*>(o) - out);
    if (heldBack != nullptr) *heldBack = static_cast<std::size_t>(o - converted) / sizeof(Out);
    return error;
}

bool ReadCombining(iconv_t cd, DecodeTable& t, std::basic_string<unsigned char> (&letters)[kMaxHeld + 1],
                   std::size_t count);

bool ReadDecoding(iconv_t cd, DecodeTable& t) {
    wchar_t out[4];
    std::size_t taken = 0, made = 0, heldBack = 0;
    std::basic_string<unsigned char> letters[kMaxHeld + 1];   // the bytes that leave each letter held
    std::size_t held = 0;
    for (unsigned b = 0; b < 256; ++b) {
        const unsigned char byte = static_cast<unsigned char>(b);
        const int error = Probe(cd, &byte, 1, out, taken, made, &heldBack);
        if (error == 0 && taken == 1 && made == 1 && (b >= 0x80 || out[0] == static_cast<wchar_t>(b))) {
            t.single[b] = out[0];
            if (heldBack == 1) {
                if (held == kMaxHeld) return false;
                letters[++held] = {byte};
                t.held[b] = static_cast<std::uint8_t>(held);
            }
        } else if (b >= 0x80 && taken == 0 && made == 0 && (error == EINVAL || error == EILSEQ)) {
            t.single[b] = error == EINVAL ? kLeadByte : kInvalidByte;
        } else {
            return false;
        }
        if (t.single[b] != kLeadByte) continue;
        for (unsigned trail = 0; trail < 256; ++trail) {
            const unsigned char pair[2] = {byte, static_cast<unsigned char>(trail)};
            std::uint16_t& entry = t.pair[((b - 0x80) << 8) | trail];
            const int e = Probe(cd, pair, 2, out, taken, made);
            if (e == 0 && taken == 2 && made == 1 && out[0] > static_cast<wchar_t>(kPairTaken) && out[0] <= 0xFFFF) {
                entry = static_cast<std::uint16_t>(out[0]);
            } else if (e == EILSEQ && made == 0 && (taken == 0 || taken == 2)) {
                entry = taken == 0 ? kPairInvalid : kPairTaken;
            } else {
                return false;
            }
        }
    }
    return held == 0 || (!t.doubleByte && ReadCombining(cd, t, letters, held));
}

// What each held letter makes with each byte after it: the two characters
// apart, or one it gives out, or one it holds for the next byte (a letter
// reached so is probed in turn). An accent is a byte that combines with some
// letter.
bool ReadCombining(iconv_t cd, DecodeTable& t, std::basic_string<unsigned char> (&letters)[kMaxHeld + 1],
                   std::size_t count) {
    struct Found {
        std::size_t letter;
        unsigned byte;
        Combined combined;
    };
    std::vector<Found> found;
    wchar_t alone[kMaxHeld + 1] = {};
    for (std::size_t k = 1; k <= count; ++k) {
        wchar_t out[8];
        std::size_t taken = 0, made = 0, heldBack = 0;
        if (Probe(cd, letters[k].data(), letters[k].size(), out, taken, made) != 0 || made != 1) return false;
        alone[k] = out[0];
        for (unsigned b = 0; b < 256; ++b) {
            if (t.single[b] < 0) continue;   // an invalid byte gives the letter out first
            std::basic_string<unsigned char> bytes = letters[k] + static_cast<unsigned char>(b);
            const int error = Probe(cd, bytes.data(), bytes.size(), out, taken, made, &heldBack);
            if (error != 0 || taken != bytes.size()) return false;
            if (made == 2 && out[0] == alone[k] && out[1] == static_cast<wchar_t>(t.single[b])) continue;
            if (made != 1 || out[0] <= 0 || out[0] > 0xFFFF || b < 0x80 || bytes.size() > 3) return false;
            Combined c{static_cast<std::uint16_t>(out[0]), 0};
            if (heldBack == 1) {
                if (count == kMaxHeld) return false;
                letters[++count] = bytes;
                c.held = static_cast<std::uint8_t>(count);
            }
            if (t.accent[b] == 0) {
                if (t.accents == kMaxAccents) return false;
                t.accent[b] = static_cast<std::uint8_t>(++t.accents);
            }
            found.push_back({k, b, c});
        }
    }
    t.combines = true;
    t.combined.assign(count * t.accents, Combined{0, 0});
    for (const Found& f : found) t.combined[(f.letter - 1) * t.accents + t.accent[f.byte] - 1] = f.combined;
    t.heldCharacter.assign(alone, alone + count + 1);
    return true;
}

// What the vector loop needs to know of letters and accents: each letter
// byte's number and what it makes with each accent after it (or the number
// of the letter it holds then), and what such a held letter makes with the
// next byte. Where that does not fit the loop (too many letters and
// accents, a character below kStillHeldLetters, a byte both letter and
// accent, a letter held for a third accent), pieces stays 0 and the tables
// alone convert the page.
void ReadCombiningVectors(DecodeTable& t) {
    DecodeVectors& v = t.vector;
    const std::size_t accents = t.accents;
    v.accents = static_cast<unsigned>(accents);
    auto combined = [&](unsigned held, unsigned accent) -> const Combined& {
        return t.combined[(held - 1) * accents + accent - 1];
    };
    unsigned numbered = 0;
    for (unsigned b = 0; b < 256; ++b) {
        for (unsigned a = 1; t.held[b] != 0 && a <= accents; ++a) {
            if (combined(t.held[b], a).character == 0) continue;
            v.letterNumber[b] = static_cast<unsigned char>(++numbered);
            break;
        }
    }
    const std::size_t entries = (numbered + 1) * (accents + 1);
    if (entries > std::size(v.letterAccent)) return;
    std::uint16_t stillHeld[kMaxHeld + 1] = {};   // a held letter's number among those held again
    std::size_t stillCount = 0;
    for (unsigned b = 0; b < 256; ++b) {
        for (unsigned a = 1; v.letterNumber[b] != 0 && a <= accents; ++a) {
            const Combined& c = combined(t.held[b], a);
            if (c.character == 0) continue;
            if (t.accent[b] != 0 || c.character < kStillHeldLetters) return;
            std::uint16_t entry = c.character;
            if (c.held != 0) {
                if (stillCount + 1 == kStillHeldLetters) return;
                stillHeld[c.held] = static_cast<std::uint16_t>(++stillCount);
                entry = stillHeld[c.held];
            }
            v.letterAccent[v.letterNumber[b] * (accents + 1) + a] = entry;
        }
    }
    t.heldAccent.assign((stillCount << 8) + 1, 0);
    for (std::size_t k = 1; k < t.heldCharacter.size(); ++k) {
        if (stillHeld[k] == 0) continue;
        std::uint32_t* row = &t.heldAccent[(stillHeld[k] - 1u) << 8];
        for (unsigned b = 0; b < 256; ++b) {
            row[b] = static_cast<std::uint32_t>(t.heldCharacter[k]);
            if (t.accent[b] == 0) continue;
            const Combined& c = combined(static_cast<unsigned>(k), t.accent[b]);
            if (c.character == 0) continue;
            if (c.held != 0) return;
            row[b] = c.character | kAccentTaken;
        }
    }
    v.heldAccent = t.heldAccent.data();
    v.pieces = static_cast<unsigned>((entries + 63) / 64);
}

// What the vector loop needs to know of each lead: the widest runs of
// trails 0x80-0xFF and 0x00-0x7F that all give a character with it, and
// whether every ASCII letter does (CP949's added syllables take letters as
// trails).
void ReadVectorRanges(DecodeTable& t) {
    DecodeVectors& v = t.vector;
    v.pair = t.pair;
    v.combines = t.combines;
    if (t.combines) ReadCombiningVectors(t);
    for (unsigned b = 0x80; b < 0x100; ++b) {
        const unsigned k = b - 0x80;
        v.highFirst[k] = v.lowFirst[k] = 0xFF;   // empty ranges
        v.highLast[k] = v.lowLast[k] = 0;
        v.single[k] = static_cast<std::uint16_t>(t.single[b] >= 0 ? t.single[b] : t.substitute);
        v.accent[k] = t.accent[b];
        if (t.single[b] != kLeadByte) continue;
        t.doubleByte = true;
        v.lead[k] = kLead;
        auto good = [&](unsigned trail) { return t.pair[(k << 8) | trail] > kPairTaken; };
        for (const unsigned from : {0x00u, 0x80u}) {
            unsigned bestFirst = 0xFF, bestLast = 0, bestLength = 0;
            for (unsigned first = from; first < from + 0x80;) {
                unsigned last = first;
                while (last < from + 0x80 && good(last)) ++last;
                if (last - first > bestLength) {
                    bestFirst = first;
                    bestLast = last - 1;
                    bestLength = last - first;
                }
                first = last + 1;
            }
            (from == 0 ? v.lowFirst : v.highFirst)[k] = static_cast<unsigned char>(bestFirst);
            (from == 0 ? v.lowLast : v.highLast)[k] = static_cast<unsigned char>(bestLast);
        }
        bool letters = true;
        for (unsigned c = 'A'; c <= 'Z'; ++c) letters = letters && good(c) && good(c | 0x20);
        v.letters[k] = letters ? 0xFF : 0;
    }
    // The common range: of the leads' own ranges, the one that most trails
    // of most leads fall in.
    auto covers = [&](unsigned k, unsigned first, unsigned last) {
        return v.highFirst[k] <= first && v.highLast[k] >= last;
    };
    unsigned long best = 0;
    v.commonFirst = 0xFF;
    v.commonLast = 0;
    for (unsigned k = 0; k < 128; ++k) {
        if (v.lead[k] == 0 || v.highFirst[k] > v.highLast[k]) continue;
        unsigned long leads = 0;
        for (unsigned other = 0; other < 128; ++other) leads += covers(other, v.highFirst[k], v.highLast[k]);
        const unsigned long score = leads * (v.highLast[k] - v.highFirst[k] + 1u);
        if (score > best) {
            best = score;
            v.commonFirst = v.highFirst[k];
            v.commonLast = v.highLast[k];
        }
    }
    for (unsigned k = 0; k < 128; ++k) {
        if (v.lead[k] != 0 && best != 0 && covers(k, v.commonFirst, v.commonLast)) v.lead[k] |= kLeadOfCommonTrails;
    }
}

// ---- encoding tables ------------------------------------------------------

// What the encoder does with one wide unit: its bytes, and how many units it steps over.
struct Encoded {
    unsigned char bytes[8];
    std::size_t length;
    std::size_t step;
    bool failed;   // bytes holds the default character
};

constexpr std::size_t kMaxLonger = 64;

// By code point of the basic plane: a pair of bytes (lead << 8 | trail, the
// lead 2 or more: kUnitPairs and above), one byte (0x100 | byte), or what
// iconv did instead (kUnitInvalid, kUnitNothing, kUnitTaken, kUnitLonger).
struct EncodeTable {
    std::uint16_t unit[0x10000];
    std::uint16_t unitEnd[2];   // the vector loop reads 32 bits at each entry
    std::uint32_t widths[0x10000 / 16];
    std::vector<LongerUnit> longer;   // the kUnitLonger code points (1255 has two)
    EncodeVectors vector;
};

// Fewer pairs than this (1258 takes letters with accents apart) leave a page one of single bytes.
constexpr std::ptrdiff_t kFewPairs = 1024;

// What the vector loops read besides the table: the count's widths, the
// widest run of code points that all give two bytes, and the windows.
void ReadVectorRanges(EncodeTable& t) {
    EncodeVectors& v = t.vector;
    v.unit = t.unit;
    v.longer = t.longer.data();
    v.longerCount = t.longer.size();
    // The widths say what the write loop does with each unit: it takes a
    // '?' and a three-byte unit, and stops at the other entries besides bytes.
    for (std::uint32_t word = 0; word < 0x10000 / 16; ++word) {
        std::uint32_t bits = 0;
        for (std::uint32_t k = 0; k < 16; ++k) {
            const std::uint32_t c = word * 16 + k;
            const std::uint16_t e = t.unit[c];
            const LongerUnit* l = e == kUnitLonger ? LongerOf(v, c) : nullptr;
            // ASCII is taken as it is, whatever the table says.
            const bool oneByte = c < 0x80 || (e >= 0x100 && e < kUnitPairs) || e == kUnitInvalid;
            const std::uint32_t width = oneByte                          ? 0
                                        : e >= kUnitPairs                ? 1
                                        : l != nullptr && l->length == 3 ? 2
                                                                         : kWidthStop;
            bits |= width << (2 * k);
        }
        t.widths[word] = bits;
    }
    v.widths = t.widths;
    v.pairsFirst = 1;   // empty
    v.pairsLast = 0;
    for (std::uint32_t first = 0; first < 0x10000;) {
        std::uint32_t last = first;
        while (last < 0x10000 && t.unit[last] >= kUnitPairs) ++last;
        if (last > first && last - first > v.pairsLast + 1 - v.pairsFirst) {
            v.pairsFirst = first;
            v.pairsLast = last - 1;
        }
        first = last + 1;
    }
    auto single = [&](std::uint32_t c) { return t.unit[c] >= 0x100 && t.unit[c] < 0x200; };
    v.windows = std::count_if(t.unit, t.unit + 0x10000, [](std::uint16_t e) { return e >= kUnitPairs; }) < kFewPairs;
    std::size_t best = 0;
    v.windowFirst[0] = 0x80;
    v.windowFirst[1] = 0x100;
    for (std::uint32_t first = 0x100; first < 0x10000; first += 128) {
        std::size_t singles = 0;
        for (std::uint32_t c = first; c < first + 128; ++c) singles += single(c);
        if (singles > best) {
            best = singles;
            v.windowFirst[1] = first;
        }
    }
    for (std::size_t w = 0; w < 2; ++w) {
        for (std::uint32_t k = 0; k < 128; ++k) {
            const std::uint32_t c = v.windowFirst[w] + k;
            v.window[w][k] = single(c) ? static_cast<unsigned char>(t.unit[c]) : 0;
        }
    }
}


// One unit as iconv encodes it on its own: what it makes, then the default
// character if it failed. False when a table entry cannot hold that.
bool EncodeOne(iconv_t cd, wchar_t c, Encoded& e) {
    unsigned char made[sizeof e.bytes - 1];
    std::size_t taken = 0, length = 0;
    const int error = Probe(cd, &c, 1, made, taken, length);
    std::memcpy(e.bytes, made, length);
    e.length = length;
    e.step = 1;
    e.failed = error != 0;
    if (error == 0) return taken == 1;
    e.bytes[e.length++] = static_cast<unsigned char>(kDefaultByte);
    if (taken == 1) e.step = 2;
    return error == EILSEQ && length == 0;
}

bool ReadEncoding(iconv_t cd, EncodeTable& t) {
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
        Encoded e;
        if (!EncodeOne(cd, static_cast<wchar_t>(c), e)) return false;
        if (c < 0x80 && (e.failed || e.length != 1 || e.bytes[0] != c)) return false;   // ASCII stays itself
        std::uint16_t& entry = t.unit[c];
        if (e.failed) {
            entry = e.step == 2 ? kUnitTaken : kUnitInvalid;
        } else if (e.length == 0) {
            entry = kUnitNothing;
        } else if (e.length == 1) {
            entry = static_cast<std::uint16_t>(0x100 | e.bytes[0]);
        } else if (e.length == 2 && e.bytes[0] >= kUnitPairs >> 8) {
            entry = static_cast<std::uint16_t>(e.bytes[0] << 8 | e.bytes[1]);
        } else if (e.length > 2 && t.longer.size() < kMaxLonger) {
            entry = kUnitLonger;
            LongerUnit l{c, static_cast<std::uint32_t>(e.length), {}};
            std::memcpy(l.bytes, e.bytes, e.length);
            t.longer.push_back(l);
        } else {
            return false;
        }
    }
    return true;
}

// ---- the tables of each code page, read at first use ----------------------

struct Tables {
    std::once_flag decodeOnce, encodeOnce;
    const DecodeTable* decode = nullptr;   // kept for the life of the process
    const EncodeTable* encode = nullptr;
};

Tables& TablesOf(std::size_t index) {
    static Tables tables[kPageCount];
    return tables[index];
}

template <typename Table, typename Read>
const Table* ReadTable(const char* to, const char* from, Read read, Table* table) {
    const iconv_t cd = iconv_open(to, from);
    if (cd == NoConverter()) return nullptr;
    std::unique_ptr<Table> t(table);
    const bool ok = read(cd, *t);
    iconv_close(cd);
    if (ok) ReadVectorRanges(*t);
    return ok ? t.release() : nullptr;
}

const DecodeTable* DecodeTableOf(unsigned codePage) {
    const std::size_t index = PageIndex(codePage);
    if (index == kPageCount) return nullptr;
    Tables& t = TablesOf(index);
    std::call_once(t.decodeOnce, [&] {
        auto* table = new DecodeTable();
        table->substitute = Substitute(codePage);
        t.decode = ReadTable("WCHAR_T", kPages[index].name, ReadDecoding, table);
    });
    return t.decode;
}

const EncodeTable* EncodeTableOf(unsigned codePage) {
    const std::size_t index = PageIndex(codePage);
    if (index == kPageCount) return nullptr;
    Tables& t = TablesOf(index);
    std::call_once(t.encodeOnce,
                   [&] { t.encode = ReadTable(kPages[index].name, "WCHAR_T", ReadEncoding, new EncodeTable()); });
    return t.encode;
}

// ---- the table loops ------------------------------------------------------

// Where the vector loop stopped on a step it leaves to the tables, the
// tables take that step, and the vector loop is tried again. Where it
// stopped again soon (text full of such steps: a letter with an accent at
// every other byte), the tables take twice as many before the next try, so
// that such text does not pay for a vector block at each step.
constexpr std::size_t kVectorRun = 16;   // units the vector loop must take to be tried at once again
constexpr std::size_t kLongestStretch = 4096;

bool Vectors() {
#if BRIM_WIDE_VECTORS
    return detail::CpuHasAvx512Vbmi2();
#else
    return false;
#endif
}

// The vector loops from i on, where Vectors() says yes.
template <bool kWrite, typename Table, typename In, typename Out>
void ByVectors([[maybe_unused]] const Table& t, [[maybe_unused]] const In* s, [[maybe_unused]] std::size_t n,
               [[maybe_unused]] std::size_t& i, [[maybe_unused]] Out* dst, [[maybe_unused]] std::size_t capacity,
               [[maybe_unused]] std::size_t& o) {
#if BRIM_WIDE_VECTORS
    if constexpr (std::is_same_v<Table, DecodeTable>) {
        if (!t.doubleByte) {
            // A page whose letters and accents the vector loop cannot take (no pieces) is the tables' alone.
            if (t.combines && t.vector.pieces == 0) return;
            if constexpr (kWrite) {
                avx512::DecodeSingle(t.vector, s, n, i, dst, capacity, o);
            } else {
                avx512::DecodeSingleCount(t.vector, s, n, i, o);
            }
        } else if constexpr (kWrite) {
            avx512::Decode(t.vector, s, n, i, dst, capacity, o);
        } else {
            avx512::DecodeCount(t.vector, s, n, i, o);
        }
    } else if constexpr (kWrite) {
        avx512::Encode(t.vector, s, n, i, dst, capacity, o);
    } else {
        avx512::EncodeCount(t.vector, s, n, i, o);
    }
#endif
}

// Whether the byte at i is an accent that may combine with the letter before it.
bool AccentAt(const DecodeTable& t, const unsigned char* s, std::size_t n, std::size_t i) {
    return t.combines && i < n && t.accent[s[i]] != 0;
}
bool AccentAt(const EncodeTable&, const wchar_t*, std::size_t, std::size_t) { return false; }

// The character of the held letter at s[i] and the accents after it that
// the converter combines it with; returns the bytes taken.
std::size_t Combine(const DecodeTable& t, const unsigned char* s, std::size_t n, std::size_t i, wchar_t& c) {
    std::size_t step = 1;
    for (unsigned held = t.held[s[i]]; held != 0 && i + step < n;) {
        const unsigned accent = t.accent[s[i + step]];
        if (accent == 0) break;
        const Combined& combined = t.combined[(held - 1) * t.accents + accent - 1];
        if (combined.character == 0) break;
        c = static_cast<wchar_t>(combined.character);
        held = combined.held;
        ++step;
    }
    return step;
}

// Where a conversion stands: units read and units given.
struct Progress {
    std::size_t in = 0, out = 0;
};

// Copies (kWrite) or counts the ASCII run at i: eight units at a time while
// it lasts, then unit by unit. False when dst has no room.
template <bool kWrite, typename In, typename Out>
bool AsciiRun(const In* s, std::size_t n, std::size_t& i, Out* dst, std::size_t capacity, std::size_t& o) {
    constexpr std::size_t kRun = 8;
    while (n - i >= kRun && (!kWrite || capacity - o >= kRun)) {
        std::uint32_t any = 0;
        for (std::size_t k = 0; k < kRun; ++k) any |= static_cast<std::uint32_t>(s[i + k]);
        if (any >= 0x80) break;
        if (kWrite) {
            for (std::size_t k = 0; k < kRun; ++k) dst[o + k] = static_cast<Out>(s[i + k]);
        }
        i += kRun;
        o += kRun;
    }
    for (; i < n && static_cast<std::uint32_t>(s[i]) < 0x80; ++i, ++o) {
        if (kWrite) {
            if (o == capacity) return false;
            dst[o] = static_cast<Out>(s[i]);
        }
    }
    return true;
}

// The loop of both directions over the steps that start before limit: the
// vector loop where it applies, then the table's own steps (step(i, o) takes
// one, false when dst has no room) until the vector loop is worth trying
// again. Returns the units given, or kMbcsOverflow.
template <bool kWrite, typename Table, typename In, typename Out, typename Step>
std::size_t ByTable(const Table& t, const In* s, std::size_t n, std::size_t limit, Out* dst, std::size_t capacity,
                    Progress& progress, Step step) {
    std::size_t i = progress.in, o = progress.out;
    const bool vectors = Vectors();
    std::size_t tablesUntil = 0, stretch = 1;
    while (i < limit) {
        if (vectors && i >= tablesUntil) {
            const std::size_t from = i;
            ByVectors<kWrite>(t, s, n, i, dst, capacity, o);
            stretch = i - from >= kVectorRun ? 1 : std::min(2 * stretch, kLongestStretch);
            tablesUntil = i + stretch;
            if (i >= limit) break;
        }
        if (static_cast<std::uint32_t>(s[i]) < 0x80) {
            const std::size_t run = i;
            // Not past limit: a letter there may combine with an accent not yet known.
            if (!AsciiRun<kWrite>(s, limit, i, dst, capacity, o)) return kMbcsOverflow;
            // A letter the converter holds back for an accent is the table's step.
            if (i == run || !AccentAt(t, s, n, i)) continue;
            --i;
            --o;
        }
        if (!step(i, o)) return kMbcsOverflow;
    }
    progress = {i, o};
    return o;
}

// Decodes (kWrite) or counts n bytes, or of them the steps that start before
// limit (the next n bytes only are known: a step before limit reads at most
// two bytes after its first). Every step gives one unit: a byte's, a pair's,
// a letter's with the accents it takes, or the substitute.
template <bool kWrite>
std::size_t DecodeByTable(const DecodeTable& t, const unsigned char* s, std::size_t n, std::size_t limit,
                          wchar_t* dst, std::size_t capacity, Progress& progress) {
    return ByTable<kWrite>(t, s, n, limit, dst, capacity, progress, [&](std::size_t& i, std::size_t& o) {
        const unsigned b = s[i];
        const std::int32_t single = t.single[b];
        wchar_t c = t.substitute;
        std::size_t step = 1;
        if (single >= 0) {
            c = static_cast<wchar_t>(single);
            if (t.combines) step = Combine(t, s, n, i, c);
        } else if (single == kLeadByte && n - i >= 2) {
            const std::uint16_t pair = t.pair[((b - 0x80) << 8) | s[i + 1]];
            if (pair > kPairTaken) {
                c = pair;
                step = 2;
            } else if (pair == kPairTaken) {
                step = std::min<std::size_t>(3, n - i);
            }
        }
        if (kWrite) {
            if (o == capacity) return false;
            dst[o] = c;
        }
        ++o;
        i += step;
        return true;
    });
}

// A unit outside the basic plane (or no code point at all) as iconv encodes
// it on its own.
Encoded EncodeOutside(unsigned codePage, wchar_t c) {
    Encoded e{{static_cast<unsigned char>(kDefaultByte)}, 1, 1, true};
    if (t_fromWide.Ready(codePage, IconvName(codePage), "WCHAR_T")) EncodeOne(t_fromWide.cd, c, e);
    return e;
}

// Encodes or counts as DecodeByTable decodes (a step before limit reads at
// most one unit after its first).
template <bool kWrite>
std::size_t EncodeByTable(unsigned codePage, const EncodeTable& t, const wchar_t* s, std::size_t n, std::size_t limit,
                          char* dst, std::size_t capacity, Progress& progress) {
    return ByTable<kWrite>(t, s, n, limit, dst, capacity, progress, [&](std::size_t& i, std::size_t& o) {
        const auto c = static_cast<std::uint32_t>(s[i]);
        unsigned char bytes[8];
        std::size_t length = 1, step = 1;
        const std::uint16_t entry = c <= 0xFFFF ? t.unit[c] : kUnitLonger;
        if (entry != kUnitLonger) {
            if (entry >= kUnitPairs) {
                bytes[0] = static_cast<unsigned char>(entry >> 8);
                bytes[1] = static_cast<unsigned char>(entry);
                length = 2;
            } else if (entry >= 0x100) {
                bytes[0] = static_cast<unsigned char>(entry);
            } else if (entry == kUnitNothing) {
                length = 0;
            } else {
                bytes[0] = static_cast<unsigned char>(kDefaultByte);
                if (entry == kUnitTaken) step = std::min<std::size_t>(2, n - i);
            }
        } else {
            Encoded e{{}, 0, 1, false};
            if (const LongerUnit* l = c <= 0xFFFF ? LongerOf(t.vector, c) : nullptr) {
                std::memcpy(e.bytes, l->bytes, sizeof e.bytes);
                e.length = l->length;
            } else {
                e = EncodeOutside(codePage, s[i]);
            }
            std::memcpy(bytes, e.bytes, sizeof bytes);
            length = e.length;
            step = std::min(e.step, n - i);
        }
        if (kWrite) {
            if (capacity - o < length) return false;
            for (std::size_t k = 0; k < length; ++k) dst[o + k] = static_cast<char>(bytes[k]);
        }
        o += length;
        i += step;
        return true;
    });
}

// The length of a text up to max units: the units before its NUL.
std::size_t LengthWithin(const unsigned char* s, std::size_t max) {
    return strnlen(reinterpret_cast<const char*>(s), max);
}
std::size_t LengthWithin(const wchar_t* s, std::size_t max) { return wcsnlen(s, max); }

// Converts a text that ends at its first NUL (converted too) with one of the
// table loops, finding its length a window ahead of the conversion, so that
// the text is read from memory once rather than once more for its length.
// The loop is called with the units known and a limit that leaves it
// lookahead units after each step it takes.
template <typename Unit, typename Loop>
std::size_t Terminated(const Unit* s, std::size_t lookahead, Loop loop) {
    constexpr std::size_t kWindow = std::size_t{1} << 14;
    Progress progress;
    std::size_t known = 0;
    for (;;) {
        const std::size_t more = LengthWithin(s + known, kWindow);
        known += more;
        const bool last = more < kWindow;
        known += last ? 1 : 0;
        const std::size_t limit = last ? known : known - std::min(known, lookahead);
        const std::size_t result = loop(known, limit, progress);
        if (result == kMbcsOverflow || last) return result;
    }
}

// ---- through iconv --------------------------------------------------------

std::size_t DecodeByIconv(unsigned codePage, const char* src, std::size_t n, wchar_t* dst, std::size_t capacity,
                          bool countOnly) {
    const char* name = IconvName(codePage);
    if (name == nullptr || !t_toWide.Ready(codePage, "WCHAR_T", name)) return kMbcsUnsupported;
    return ThroughIconv(t_toWide.cd, src, n, dst, capacity, Substitute(codePage), countOnly);
}

std::size_t EncodeByIconv(unsigned codePage, const wchar_t* src, std::size_t n, char* dst, std::size_t capacity,
                          bool countOnly) {
    const char* name = IconvName(codePage);
    if (name == nullptr || !t_fromWide.Ready(codePage, name, "WCHAR_T")) return kMbcsUnsupported;
    return ThroughIconv(t_fromWide.cd, src, n, dst, capacity, kDefaultByte, countOnly);
}

}  // namespace

const char* IconvName(unsigned codePage) {
    const std::size_t index = PageIndex(codePage);
    return index == kPageCount ? nullptr : kPages[index].name;
}

bool MbcsDecodesByTable(unsigned codePage) { return DecodeTableOf(codePage) != nullptr; }
bool MbcsEncodesByTable(unsigned codePage) { return EncodeTableOf(codePage) != nullptr; }

namespace {

// A text of n units, or (n == kTerminated) one that ends at its first NUL.
constexpr std::size_t kTerminated = static_cast<std::size_t>(-1);

template <bool kWrite>
std::size_t DecodeText(unsigned codePage, const char* src, std::size_t n, wchar_t* dst, std::size_t capacity) {
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    const DecodeTable* t = DecodeTableOf(codePage);
    if (t == nullptr) {
        return DecodeByIconv(codePage, src, n == kTerminated ? std::strlen(src) + 1 : n, dst, capacity, !kWrite);
    }
    if (!kWrite && !t->doubleByte && !t->combines) {
        return n == kTerminated ? std::strlen(src) + 1 : n;   // a unit for each byte
    }
    Progress progress;
    if (n != kTerminated) return DecodeByTable<kWrite>(*t, s, n, n, dst, capacity, progress);
    return Terminated(s, 2, [&](std::size_t known, std::size_t limit, Progress& p) {
        return DecodeByTable<kWrite>(*t, s, known, limit, dst, capacity, p);
    });
}

template <bool kWrite>
std::size_t EncodeText(unsigned codePage, const wchar_t* src, std::size_t n, char* dst, std::size_t capacity) {
    const EncodeTable* t = EncodeTableOf(codePage);
    if (t == nullptr) {
        return EncodeByIconv(codePage, src, n == kTerminated ? std::wcslen(src) + 1 : n, dst, capacity, !kWrite);
    }
    Progress progress;
    if (n != kTerminated) return EncodeByTable<kWrite>(codePage, *t, src, n, n, dst, capacity, progress);
    return Terminated(src, 1, [&](std::size_t known, std::size_t limit, Progress& p) {
        return EncodeByTable<kWrite>(codePage, *t, src, known, limit, dst, capacity, p);
    });
}

}  // namespace

std::size_t MbcsToWideCount(unsigned codePage, const char* src, std::size_t n) {
    return DecodeText<false>(codePage, src, n, nullptr, 0);
}

std::size_t MbcsToWide(unsigned codePage, const char* src, std::size_t n, wchar_t* dst, std::size_t capacity) {
    return DecodeText<true>(codePage, src, n, dst, capacity);
}

std::size_t WideToMbcsCount(unsigned codePage, const wchar_t* src, std::size_t n) {
    return EncodeText<false>(codePage, src, n, nullptr, 0);
}

std::size_t WideToMbcs(unsigned codePage, const wchar_t* src, std::size_t n, char* dst, std::size_t capacity) {
    return EncodeText<true>(codePage, src, n, dst, capacity);
}

std::size_t MbcsToWideCountTerminated(unsigned codePage, const char* src) {
    return DecodeText<false>(codePage, src, kTerminated, nullptr, 0);
}

std::size_t MbcsToWideTerminated(unsigned codePage, const char* src, wchar_t* dst, std::size_t capacity) {
    return DecodeText<true>(codePage, src, kTerminated, dst, capacity);
}

std::size_t WideToMbcsCountTerminated(unsigned codePage, const wchar_t* src) {
    return EncodeText<false>(codePage, src, kTerminated, nullptr, 0);
}

std::size_t WideToMbcsTerminated(unsigned codePage, const wchar_t* src, char* dst, std::size_t capacity) {
    return EncodeText<true>(codePage, src, kTerminated, dst, capacity);
}

}  // namespace brim::platform::mbcs
