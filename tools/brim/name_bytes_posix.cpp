#include "tools/brim/name_bytes_posix.h"

#include <string>

namespace brimtool {
namespace {
static_assert(sizeof(wchar_t) == 4, "a character in one wide unit");

// The length of the well-formed UTF-8 sequence at p (no overlong forms, no
// surrogates, nothing past U+10FFFF), 0 where p starts an ill-formed one.
std::size_t WellFormedLength(const unsigned char* p) {
    const unsigned c = p[0];
    if (c < 0x80) return 1;
    std::size_t more = 0;
    unsigned low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) more = 1;
    else if (c >= 0xE0 && c <= 0xEF) more = 2, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) more = 3, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
    else return 0;
    for (std::size_t k = 1; k <= more; ++k, low = 0x80, high = 0xBF) {
        if (p[k] < low || p[k] > high) return 0;   // also stops at the terminator
    }
    return more + 1;
}

}  // namespace

CStringW TextOfBytes(const unsigned char* bytes) {
    // One pass, a character at a time: this runs on arguments, and on input
    // only where the library's decoding met a byte that is not UTF-8.
    std::wstring text;
    for (const unsigned char* p = bytes; *p != 0;) {
        const std::size_t length = WellFormedLength(p);
        char32_t c = length == 0 ? 0xDC00u + *p : p[0] & (0x7Fu >> (length == 1 ? 0 : length));
        for (std::size_t k = 1; k < length; ++k) c = c << 6 | (p[k] & 0x3Fu);
        text += static_cast<wchar_t>(c);
        p += length == 0 ? 1 : length;
    }
    return CStringW(text.data(), static_cast<int>(text.size()));
}

std::size_t PutBytes(char* out, unsigned long c) {
    if (c < 0x80 || (c >= 0xDC80 && c <= 0xDCFF)) {
        out[0] = static_cast<char>(c < 0x80 ? c : c - 0xDC00);
        return 1;
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    std::size_t n;
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        n = 2;
    } else if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        n = 3;
    } else {
        out[0] = static_cast<char>(0xF0 | (c >> 18));
        out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        n = 4;
    }
    out[n - 1] = static_cast<char>(0x80 | (c & 0x3F));
    return n;
}

std::string BytesOfText(const wchar_t* text, std::size_t n) {
    std::string bytes;
    bytes.reserve(n);
    char one[4];
    for (std::size_t k = 0; k < n; ++k) {
        bytes.append(one, PutBytes(one, static_cast<unsigned long>(text[k])));
    }
    return bytes;
}

}  // namespace brimtool
