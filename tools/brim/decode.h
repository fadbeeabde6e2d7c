// How brim turns a text file's bytes into text for a person to read.
#pragma once

#include <brim/brim.h>

#include <vector>

namespace brimtool {

// The library's reader, except where brim knows better than the locale:
// EUC-KR and CP949 go through code page 949 whatever the locale (unless
// ansi, which keeps the reader's locale-bound ANSI code page), and UTF-16BE,
// which the reader refuses, is turned into UTF-16LE first (unless
// libraryOnly). Other encodings throw the reader's CBrimException*. The
// byte-order mark is not part of the text.
CStringW DecodeText(std::vector<unsigned char>& bytes, int encoding, bool ansi, bool libraryOnly = false);

}  // namespace brimtool
