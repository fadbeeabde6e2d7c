// Whole-string conversions between wide text and byte encodings, for the
// library's own use (file names, narrow printf arguments, output).
#pragma once

#include <cstddef>
#include <string>

namespace brim::detail {

// Narrow text in the ANSI code page, n bytes (no terminator needed).
std::wstring AnsiToWide(const char* text, std::size_t n);
std::string WideToAnsi(const wchar_t* text, std::size_t n);

// UTF-8 with the platform converter's substitution rules: each malformed
// sequence becomes U+FFFD; a lone surrogate or a value past U+10FFFF too.
std::wstring Utf8ToWide(const char* text, std::size_t n);
std::string WideToUtf8(const wchar_t* text, std::size_t n);

}  // namespace brim::detail
