#include "tools/brim/name_bytes_posix.h"

#include <vector>

namespace brimtool {
namespace {

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

// Well-formed UTF-8 (n bytes) through the library's converter.
CStringW Decoded(const unsigned char* bytes, std::size_t n) {
    const std::string run(reinterpret_cast<const char*>(bytes), n);
    std::vector<wchar_t> wide(static_cast<std::size_t>(CBrimString::UTF82UnicodeCount(run.c_str())));
    CBrimString::UTF82Unicode(wide.data(), run.c_str());
    return CStringW(wide.data());
}

}  // namespace

CStringW TextOfBytes(const unsigned char* bytes) {
    CStringW text;
    const unsigned char* run = bytes;
    const unsigned char* p = bytes;
    while (*p != 0) {
        const std::size_t length = WellFormedLength(p);
        if (length != 0) {
            p += length;
            continue;
        }
        text += Decoded(run, static_cast<std::size_t>(p - run));
        text += static_cast<wchar_t>(0xDC00 + *p);
        run = ++p;
    }
    return text + Decoded(run, static_cast<std::size_t>(p - run));
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
