// A plain detector written straight from the rules, one byte at a time, for
// differential checks of CBrimFile::EncodingCheck (tests and fuzz target).
#pragma once

#include <cstddef>
#include <cstring>

namespace brimtest {

inline int ReferenceEncoding(const unsigned char* buf, std::size_t size) {
    static const struct {
        std::size_t length;
        const char* bytes;
    } marks[13] = {{3, "\xEF\xBB\xBF"}, {2, "\xFE\xFF"}, {2, "\xFF\xFE"}, {4, "\x00\x00\xFE\xFF"},
                   {4, "\xFF\xFE\x00\x00"}, {3, "\x0E\xFE\xFF"}, {4, "+/v8"}, {4, "+/v9"}, {4, "+/v+"},
                   {4, "+/v/"}, {5, "+/v8-"}, {4, "\xDD\x73\x66\x73"}, {3, "\xFB\xEE\x28"}};
    for (int id = 0; id < 13; ++id) {
        if (marks[id].length <= size && std::memcmp(buf, marks[id].bytes, marks[id].length) == 0) return id;
    }
    bool ascii = true, utf8 = true, euc = true, cp949 = true;
    int utf8Owed = 0, eucState = 0, cpState = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned b = buf[i];
        if (b >= 0x80) ascii = false;
        if (utf8) {
            if (utf8Owed > 0) {
                if ((b & 0xC0) == 0x80) --utf8Owed;
                else utf8 = false;
            } else if (b >= 0x80) {
                if ((b & 0xE0) == 0xC0) utf8Owed = 1;
                else if ((b & 0xF0) == 0xE0) utf8Owed = 2;
                else if ((b & 0xF8) == 0xF0) utf8Owed = 3;
                else utf8 = false;
            }
        }
        if (euc) {
            const bool high = b >= 0xA1 && b <= 0xFE;
            if (eucState == 1) {
                if (high) eucState = 0;
                else euc = false;
            } else if (b >= 0x80) {
                if (high) eucState = 1;
                else euc = false;
            }
        }
        if (cp949) {
            if (cpState == 1) {
                if ((b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE)) cpState = 0;
                else cp949 = false;
            } else if (cpState == 2) {
                if (b >= 0xA1 && b <= 0xFE) cpState = 0;
                else cp949 = false;
            } else if (b >= 0x80) {
                if (b >= 0x81 && b <= 0xC5) cpState = 1;
                else if (b >= 0xC6 && b <= 0xFE) cpState = 2;
                else cp949 = false;
            }
        }
        if (!ascii && !utf8 && !euc && !cp949) return 17;
    }
    return ascii ? 13 : utf8 ? 14 : euc ? 15 : cp949 ? 16 : 17;
}

}  // namespace brimtest
