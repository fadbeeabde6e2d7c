// CStringW in GoogleTest's failure messages: quoted, printable ASCII as it stands, everything else as \uXXXX.
#pragma once

#include <brim/brim.h>

#include <cstdio>
#include <ostream>
#include <type_traits>

inline void PrintTo(const CStringW& text, std::ostream* os) {
    *os << '"';
    for (int i = 0; i < text.GetLength(); ++i) {
        const auto c = static_cast<unsigned long>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            *os << static_cast<char>(c);
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u%04lX", c);
            *os << buf;
        }
    }
    *os << '"';
}
