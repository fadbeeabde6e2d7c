// UTF-16 little-endian bytes, the byte form of files on every platform, and
// the platform's wide text (UTF-16 or UTF-32).
#pragma once

#include <cstddef>

namespace brim::detail {

// Wide units for the UTF-16LE units of data up to the first zero unit (or
// all units): surrogate pairs become one unit where wchar_t has 32 bits;
// unpaired surrogates are kept as they are.
std::size_t Utf16LeToWideCount(const unsigned char* data, std::size_t units);
void Utf16LeToWide(const unsigned char* data, std::size_t units, wchar_t* out);

// n wide units as UTF-16LE; out holds 4 bytes a unit. Returns the bytes
// written. Values past U+10FFFF become U+FFFD.
std::size_t WideToUtf16Le(const wchar_t* src, std::size_t n, unsigned char* out);

}  // namespace brim::detail
