// A plain detector from the rules, a byte at a time, to check CBrimFile::EncodingCheck against (tests, fuzz).
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace brimtest {

// The marks by encoding id, in the order they are tried.
inline const std::string_view kMarks[13] = {
    {"\xEF\xBB\xBF", 3}, {"\xFE\xFF", 2}, {"\xFF\xFE", 2}, {"\x00\x00\xFE\xFF", 4}, {"\xFF\xFE\x00\x00", 4},
    {"\x0E\xFE\xFF", 3}, {"+/v8", 4},      {"+/v9", 4},      {"+/v+", 4},              {"+/v/", 4},
    {"+/v8-", 5},         {"\xDD\x73\x66\x73", 4},        {"\xFB\xEE\x28", 3}};

inline int ReferenceEncoding(const unsigned char* buf, std::size_t size) {
    for (int id = 0; id < 13; ++id) {
        if (kMarks[id].size() <= size && std::memcmp(buf, kMarks[id].data(), kMarks[id].size()) == 0) return id;
    }
    // Each prober: accepting still, and what it waits for (bytes owed, or CP949's kind of trail).
    bool ascii = true, utf8 = true, euc = true, cp949 = true;
    int utf8Owed = 0, eucOwed = 0, cpTrail = 0;
    for (std::size_t i = 0; i < size && (ascii || utf8 || euc || cp949); ++i) {
        const unsigned b = buf[i];
        const bool high = b >= 0xA1 && b <= 0xFE, letter = (b | 0x20) >= 0x61 && (b | 0x20) <= 0x7A;
        ascii = ascii && b < 0x80;
        if (utf8Owed > 0) {
            utf8 = utf8 && (b & 0xC0) == 0x80;
            --utf8Owed;
        } else if (b >= 0x80) {
            utf8Owed = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 0;
            utf8 = utf8 && utf8Owed > 0;
        }
        if (eucOwed > 0 || b >= 0x80) {
            euc = euc && high;
            eucOwed = 1 - eucOwed;
        }
        if (cpTrail != 0) {
            cp949 = cp949 && (cpTrail == 1 ? letter || (b >= 0x81 && b <= 0xFE) : high);
            cpTrail = 0;
        } else if (b >= 0x80) {
            cpTrail = b >= 0x81 && b <= 0xC5 ? 1 : high && b >= 0xC6 ? 2 : 0;
            cp949 = cp949 && cpTrail != 0;
        }
    }
    return ascii ? 13 : utf8 ? 14 : euc ? 15 : cp949 ? 16 : 17;
}

}  // namespace brimtest
