#include "foundation/utf8.h"

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

// The common well-formed sequences (ASCII words, two-byte and three-byte
// characters) are decoded inline; everything else goes through DecodeOne.
template <typename Emit>
void DecodeAll(const char* src, std::size_t n, Emit emit) {
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    std::size_t i = 0;
    while (i < n) {
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
}

template <typename Emit>
void ReadWide(const wchar_t* src, std::size_t n, Emit emit) {
    for (std::size_t i = 0; i < n; ++i) {
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
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
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

}  // namespace

std::size_t Utf8ToWideCount(const char* src, std::size_t n) {
    std::size_t count = 0;
    DecodeAll(src, n, [&](char32_t c) { count += WideUnits(c); });
    return count;
}

std::size_t Utf8ToWideConvert(const char* src, std::size_t n, wchar_t* dst) {
    wchar_t* out = dst;
    DecodeAll(src, n, [&](char32_t c) {
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            c -= 0x10000;
            *out++ = static_cast<wchar_t>(0xD800 + (c >> 10));
            *out++ = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            *out++ = static_cast<wchar_t>(c);
        }
    });
    return static_cast<std::size_t>(out - dst);
}

std::size_t Utf8ToWideConvertBounded(const char* src, std::size_t n, wchar_t* dst, std::size_t capacity) {
    // Each byte gives at most one unit: a capacity of n needs no checks.
    if (capacity >= n) return Utf8ToWideConvert(src, n, dst);
    wchar_t* out = dst;
    wchar_t* const end = dst + capacity;
    bool overflow = false;
    DecodeAll(src, n, [&](char32_t c) {
        if (overflow || static_cast<std::size_t>(end - out) < WideUnits(c)) {
            overflow = true;
            return;
        }
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            c -= 0x10000;
            *out++ = static_cast<wchar_t>(0xD800 + (c >> 10));
            *out++ = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            *out++ = static_cast<wchar_t>(c);
        }
    });
    return overflow ? kOverflow : static_cast<std::size_t>(out - dst);
}

std::size_t WideToUtf8Count(const wchar_t* src, std::size_t n) {
    std::size_t count = 0;
    ReadWide(src, n, [&](char32_t c) { count += Utf8Units(c); });
    return count;
}

std::size_t WideToUtf8Convert(const wchar_t* src, std::size_t n, char* dst) {
    char* out = dst;
    ReadWide(src, n, [&](char32_t c) { out = PutUtf8(out, c); });
    return static_cast<std::size_t>(out - dst);
}

std::size_t WideToUtf8ConvertBounded(const wchar_t* src, std::size_t n, char* dst, std::size_t capacity) {
    // Each unit gives at most four bytes (three where wchar_t has 16 bits).
    if (capacity / 4 >= n) return WideToUtf8Convert(src, n, dst);
    char* out = dst;
    char* const end = dst + capacity;
    bool overflow = false;
    ReadWide(src, n, [&](char32_t c) {
        if (overflow || static_cast<std::size_t>(end - out) < Utf8Units(c)) {
            overflow = true;
            return;
        }
        out = PutUtf8(out, c);
    });
    return overflow ? kOverflow : static_cast<std::size_t>(out - dst);
}

}  // namespace brim::detail
