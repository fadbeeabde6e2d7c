// The library's UTF-8 converter. Substitution rules as the Windows converter
// applies them: every maximal ill-formed subsequence of UTF-8 (overlong forms,
// encoded surrogates, values past U+10FFFF, stray or missing continuation
// bytes) becomes one U+FFFD; a lone surrogate or an out-of-range value in wide
// text becomes U+FFFD. Wide text is UTF-16 where wchar_t has 16 bits, UTF-32
// otherwise.
#pragma once

#include <cstddef>
#include <string>

namespace brim::detail {

// Units needed for / written by the conversion of n input units. The convert
// functions write exactly what the count functions report.
std::size_t Utf8ToWideCount(const char* src, std::size_t n);
std::size_t Utf8ToWideConvert(const char* src, std::size_t n, wchar_t* dst);
std::size_t WideToUtf8Count(const wchar_t* src, std::size_t n);
std::size_t WideToUtf8Convert(const wchar_t* src, std::size_t n, char* dst);

// The same conversions into capacity units at most, in one pass: kOverflow
// (and part of the output written) when the result does not fit.
constexpr std::size_t kOverflow = static_cast<std::size_t>(-1);
std::size_t Utf8ToWideConvertBounded(const char* src, std::size_t n, wchar_t* dst, std::size_t capacity);
std::size_t WideToUtf8ConvertBounded(const wchar_t* src, std::size_t n, char* dst, std::size_t capacity);

// The same for a text that ends at its first zero byte, the zero counted
// (bytes receives the length with it): one pass over the text instead of
// one to find its end and another to convert it.
std::size_t Utf8ToWideCountTerminated(const char* src, std::size_t& bytes);
std::size_t Utf8ToWideConvertTerminated(const char* src, wchar_t* dst, std::size_t capacity);

// File names where a name is any bytes (POSIX): UTF-8 as above, except that
// each byte of an ill-formed sequence becomes the lone low surrogate
// kNameByte + byte (U+DC80..U+DCFF) rather than U+FFFD, and such a unit
// becomes that byte again. A name that is not UTF-8 thus leads back to its
// own entry, and no two names read become one wide name. (Units that a host
// makes up may spell bytes that are well-formed UTF-8: those name the entry
// that the UTF-8 names.)
constexpr wchar_t kNameByte = 0xDC00;
std::wstring Utf8NameToWide(const char* src, std::size_t n);
std::string WideNameToUtf8(const wchar_t* src, std::size_t n);

// The code paths: the portable one defines the results, and the vector ones,
// taken where the processor has them, give the same units and counts. The
// functions above use the best path; the tests and the fuzzer run each path
// that BestVectorPath() allows (no wider) and compare. Capacity kNoLimit:
// the buffer holds what the count gives.
enum class VectorPath { kPortable, kAvx2, kAvx512 };
VectorPath BestVectorPath();
constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);
std::size_t Utf8ToWideCountOn(VectorPath path, const char* src, std::size_t n);
std::size_t Utf8ToWideConvertOn(VectorPath path, const char* src, std::size_t n, wchar_t* dst, std::size_t capacity);
std::size_t WideToUtf8CountOn(VectorPath path, const wchar_t* src, std::size_t n);
std::size_t WideToUtf8ConvertOn(VectorPath path, const wchar_t* src, std::size_t n, char* dst, std::size_t capacity);

}  // namespace brim::detail
