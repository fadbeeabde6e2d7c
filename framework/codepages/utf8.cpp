#include "framework/codepages/utf8.h"

#include "framework/codepages/utf8_vectors.h"

#include <cstdint>
#include <cstring>

namespace brim::detail {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at src[i], advancing i past it (or past the maximal
// ill-formed subsequence, which decodes to U+FFFD).
char32_t DecodeOne(const unsigned char* s, std::size_t n, std::size_t& i) {
    const unsigned char b0 = s[i++];
    if (b0 < 0x80) return b0;
    int extra;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;   // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1; cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2; cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;        // overlong
        if (b0 == 0xED) hi = 0x9F;        // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3; cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;        // overlong
        if (b0 == 0xF4) hi = 0x8F;        // past U+10FFFF
    } else {
        return kReplacement;              // 80..C1, F5..FF never start a sequence
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= n) return kReplacement;
        const unsigned char b = s[i];
        if (b < lo || b > hi) return kReplacement;   // b starts the next sequence
        lo = 0x80; hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        ++i;
    }
    return cp;
}

// Decodes from s[i] on, a whole sequence at a time, until i reaches stop;
// returns where it stopped. The common well-formed sequences (ASCII words,
// two-byte and three-byte characters) are decoded inline; everything else goes
// through DecodeOne.
template <typename Emit>
std::size_t DecodeFrom(const unsigned char* s, std::size_t n, std::size_t i, std::size_t stop, Emit emit) {
    while (i < stop) {
        if (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, sizeof word);
            if ((word & 0x8080808080808080ull) == 0) {
                for (int k = 0; k < 8; ++k) emit(static_cast<char32_t>(s[i + k]));
                i += 8;
                continue;
            }
        }
        const unsigned char b0 = s[i];
        if (b0 < 0x80) {
            emit(static_cast<char32_t>(b0));
            ++i;
            continue;
        }
        if ((b0 & 0xF0) == 0xE0 && i + 2 < n) {
            const unsigned char b1 = s[i + 1], b2 = s[i + 2];
            const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80, hi = b0 == 0xED ? 0x9F : 0xBF;
            if (b1 >= lo && b1 <= hi && (b2 & 0xC0) == 0x80) {
                emit((static_cast<char32_t>(b0 & 0x0F) << 12) | (static_cast<char32_t>(b1 & 0x3F) << 6) | (b2 & 0x3F));
                i += 3;
                continue;
            }
        } else if (b0 >= 0xC2 && b0 <= 0xDF && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
            emit((static_cast<char32_t>(b0 & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
            continue;
        }
        emit(DecodeOne(s, n, i));
    }
    return i;
}

// Reads src[from..n) a code point at a time.
// (kNameBytes: U+DC80..U+DCFF, a name's bytes, are passed on as they are.)
template <bool kNameBytes = false, typename Emit>
void ReadWide(const wchar_t* src, std::size_t n, std::size_t from, Emit emit) {
    for (std::size_t i = from; i < n; ++i) {
        char32_t c = static_cast<char32_t>(src[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            c &= 0xFFFF;
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
                const char32_t d = static_cast<char32_t>(src[i + 1]) & 0xFFFF;
                if (d >= 0xDC00 && d <= 0xDFFF) {
                    emit(0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00));
                    ++i;
                    continue;
                }
            }
        }
        const bool nameByte = kNameBytes && c >= kNameByte + 0x80u && c <= kNameByte + 0xFFu;
        if (!nameByte && ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) c = kReplacement;
        emit(c);
    }
}

inline std::size_t WideUnits(char32_t c) { return (sizeof(wchar_t) == 2 && c >= 0x10000) ? 2 : 1; }

inline std::size_t Utf8Units(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

char* PutUtf8(char* out, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}


// Writes code points as wide units into dst[o..capacity) until one does not fit.
struct WideOut {
    wchar_t* dst;
    std::size_t o;
    std::size_t capacity;
    bool overflow = false;

    void Put(char32_t c) {
        if (overflow || capacity - o < WideUnits(c)) {
            overflow = true;
            return;
        }
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            c -= 0x10000;
            dst[o++] = static_cast<wchar_t>(0xD800 + (c >> 10));
            dst[o++] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            dst[o++] = static_cast<wchar_t>(c);
        }
    }
    std::size_t Result() const { return overflow ? kOverflow : o; }
};

// The same for UTF-8 bytes.
struct Utf8Out {
    char* dst;
    std::size_t o;
    std::size_t capacity;
    bool overflow = false;

    void Put(char32_t c) {
        if (overflow || capacity - o < Utf8Units(c)) {
            overflow = true;
            return;
        }
        o = static_cast<std::size_t>(PutUtf8(dst + o, c) - dst);
    }
    std::size_t Result() const { return overflow ? kOverflow : o; }
};

// The vector loops stop before 64 bytes that are not well-formed; the portable
// decoder takes those, then the vector loop goes on.
constexpr std::size_t kIllFormedStep = 64;

std::size_t CountUtf8(VectorPath path, const char* src, std::size_t n) {
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    std::size_t count = 0, i = 0;
    const auto tally = [&](char32_t c) { count += WideUnits(c); };
#if BRIM_WIDE_VECTORS
    const auto loop = path == VectorPath::kAvx512 ? avx512::Utf8ToWideCount : avx2::Utf8ToWideCount;
    if (path != VectorPath::kPortable) {
        while (loop(s, n, i, count)) i = DecodeFrom(s, n, i, i + kIllFormedStep, tally);
    }
#else
    (void)path;
#endif
    DecodeFrom(s, n, i, n, tally);
    return count;
}

std::size_t ConvertUtf8(VectorPath path, const char* src, std::size_t n, wchar_t* dst, std::size_t capacity) {
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    WideOut out{dst, 0, capacity};
    std::size_t i = 0;
    const auto put = [&](char32_t c) { out.Put(c); };
#if BRIM_WIDE_VECTORS
    const auto loop = path == VectorPath::kAvx512 ? avx512::Utf8ToWide : avx2::Utf8ToWide;
    if (path != VectorPath::kPortable) {
        while (loop(s, n, i, dst, out.o, capacity)) i = DecodeFrom(s, n, i, i + kIllFormedStep, put);
    }
#else
    (void)path;
#endif
    DecodeFrom(s, n, i, n, put);
    return out.Result();
}

std::size_t CountWide(VectorPath path, const wchar_t* src, std::size_t n) {
    std::size_t count = 0, i = 0;
#if BRIM_WIDE_VECTORS
    if (path != VectorPath::kPortable) (path == VectorPath::kAvx512 ? avx512::WideToUtf8Count : avx2::WideToUtf8Count)(src, n, i, count);
#else
    (void)path;
#endif
    ReadWide(src, n, i, [&](char32_t c) { count += Utf8Units(c); });
    return count;
}

std::size_t ConvertWide(VectorPath path, const wchar_t* src, std::size_t n, char* dst, std::size_t capacity) {
    Utf8Out out{dst, 0, capacity};
    std::size_t i = 0;
#if BRIM_WIDE_VECTORS
    if (path != VectorPath::kPortable) {
        (path == VectorPath::kAvx512 ? avx512::WideToUtf8 : avx2::WideToUtf8)(src, n, i, dst, out.o, capacity);
    }
#else
    (void)path;
#endif
    ReadWide(src, n, i, [&](char32_t c) { out.Put(c); });
    return out.Result();
}

// A terminated text goes a block at a time: each block's end is found just
// before the block is converted, while it is still in the cache, so a long
// text is read from memory once rather than once for its length and again
// for its conversion. A block ends where no sequence crosses it: before a
// byte that cannot continue a sequence, or after three continuation bytes
// in a row (no sequence holds more), so the blocks decode exactly as the
// whole text would.
constexpr std::size_t kTerminatedBlock = 32 * 1024;

// Bytes of the next block at s; last when it holds the terminator (counted).
// ascii when they are all ASCII: their count is then their number.
std::size_t NextBlock(VectorPath path, const char* s, bool& last, bool& ascii) {
    std::size_t length;
#if BRIM_WIDE_VECTORS
    if (path == VectorPath::kAvx512) {
        length = avx512::ScanText(s, kTerminatedBlock, ascii);
    } else
#endif
    {
        (void)path;
        length = strnlen(s, kTerminatedBlock);
        ascii = false;
    }
    last = length < kTerminatedBlock;
    if (last) return length + 1;
    // s[kTerminatedBlock] is readable: the text goes on past the block.
    for (std::size_t end = kTerminatedBlock; end + 3 >= kTerminatedBlock; --end) {
        if ((static_cast<unsigned char>(s[end]) & 0xC0) != 0x80) return end;
    }
    return kTerminatedBlock;
}

}  // namespace

std::size_t Utf8ToWideCountTerminated(const char* src, std::size_t& bytes) {
    const VectorPath path = BestVectorPath();
    std::size_t units = 0;
    bytes = 0;
    for (bool last = false, ascii = false; !last;) {
        const std::size_t n = NextBlock(path, src + bytes, last, ascii);
        units += ascii ? n : CountUtf8(path, src + bytes, n);
        bytes += n;
    }
    return units;
}

std::size_t Utf8ToWideConvertTerminated(const char* src, wchar_t* dst, std::size_t capacity) {
    const VectorPath path = BestVectorPath();
    std::size_t read = 0, written = 0;
    for (bool last = false, ascii = false; !last;) {
        const std::size_t n = NextBlock(path, src + read, last, ascii);
        const std::size_t done = ConvertUtf8(path, src + read, n, dst + written, capacity - written);
        if (done == kOverflow) return kOverflow;
        read += n;
        written += done;
    }
    return written;
}

VectorPath BestVectorPath() {
    static const VectorPath best = CpuHasAvx512Vbmi2() ? VectorPath::kAvx512
                                   : CpuHasAvx2()      ? VectorPath::kAvx2
                                                       : VectorPath::kPortable;
    return best;
}

// Names are short and seldom hold a bad byte: one code point at a time.
std::wstring Utf8NameToWide(const char* src, std::size_t n) {
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    std::wstring out;
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
        const std::size_t start = i;
        const char32_t c = DecodeOne(s, n, i);
        // U+FFFD itself is the one well-formed sequence that decodes to it.
        if (c == kReplacement && !(i - start == 3 && s[start] == 0xEF)) {
            out += static_cast<wchar_t>(kNameByte + s[start]);
            i = start + 1;   // the bytes after it are read again on their own
        } else if (WideUnits(c) == 2) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

std::string WideNameToUtf8(const wchar_t* src, std::size_t n) {
    std::string out;
    out.reserve(n);
    ReadWide<true>(src, n, 0, [&out](char32_t c) {
        char bytes[4];
        if (c >= kNameByte + 0x80u && c <= kNameByte + 0xFFu) {
            out += static_cast<char>(c - kNameByte);
        } else {
            out.append(bytes, static_cast<std::size_t>(PutUtf8(bytes, c) - bytes));
        }
    });
    return out;
}

std::size_t Utf8ToWideCount(const char* src, std::size_t n) { return CountUtf8(BestVectorPath(), src, n); }

std::size_t Utf8ToWideConvert(const char* src, std::size_t n, wchar_t* dst) {
    return ConvertUtf8(BestVectorPath(), src, n, dst, kNoLimit);
}

std::size_t Utf8ToWideConvertBounded(const char* src, std::size_t n, wchar_t* dst, std::size_t capacity) {
    return ConvertUtf8(BestVectorPath(), src, n, dst, capacity);
}

std::size_t WideToUtf8Count(const wchar_t* src, std::size_t n) { return CountWide(BestVectorPath(), src, n); }

std::size_t WideToUtf8Convert(const wchar_t* src, std::size_t n, char* dst) {
    return ConvertWide(BestVectorPath(), src, n, dst, kNoLimit);
}

std::size_t WideToUtf8ConvertBounded(const wchar_t* src, std::size_t n, char* dst, std::size_t capacity) {
    return ConvertWide(BestVectorPath(), src, n, dst, capacity);
}

std::size_t Utf8ToWideCountOn(VectorPath path, const char* src, std::size_t n) { return CountUtf8(path, src, n); }

std::size_t Utf8ToWideConvertOn(VectorPath path, const char* src, std::size_t n, wchar_t* dst, std::size_t capacity) {
    return ConvertUtf8(path, src, n, dst, capacity);
}

std::size_t WideToUtf8CountOn(VectorPath path, const wchar_t* src, std::size_t n) { return CountWide(path, src, n); }

std::size_t WideToUtf8ConvertOn(VectorPath path, const wchar_t* src, std::size_t n, char* dst, std::size_t capacity) {
    return ConvertWide(path, src, n, dst, capacity);
}

}  // namespace brim::detail
