// Names on POSIX are bytes, not always UTF-8. The library hands a byte of an
// ill-formed sequence to its host as U+DC80..U+DCFF (U+DC00 + the byte) and
// takes such a unit back as that byte; brim does the same with its arguments
// and its output, so a name typed, listed or opened is the name on disk.
#pragma once

#include <brim/brim.h>

#include <cstddef>
#include <string>

namespace brimtool {

// An argument's bytes (terminated) as wide text: UTF-8, and each byte of an
// ill-formed sequence as U+DC00 + the byte.
CStringW TextOfBytes(const unsigned char* bytes);

// One character as UTF-8 into out (room for 4 bytes), U+DC80..U+DCFF as the
// byte it stands for; the byte count. Other surrogates and values past
// U+10FFFF, which have no UTF-8 form, become U+FFFD.
std::size_t PutBytes(char* out, unsigned long c);

// Wide text as bytes, by PutBytes.
std::string BytesOfText(const wchar_t* text, std::size_t n);

}  // namespace brimtool
