// Conversions between the code pages other than UTF-8 and wide text on POSIX.
// iconv defines the results. A code page whose converter keeps no state is
// converted through tables read from iconv at first use, one character (or
// lead/trail pair) at a time, so the mapping is the platform's by
// construction; the others go through iconv itself.
//
// The results are those of this loop over iconv: convert as much as it
// takes; where it stops on a sequence it cannot convert (or one cut off by
// the end), put the substitute in its place (U+30FB for 932, '?' otherwise;
// '?' when encoding), step over one unit and go on. Where iconv reports a
// failure after taking the sequence (glibc does so for CP949 A2 E8), that
// step lands on the unit after it.
#pragma once

#include <cstddef>

namespace brim::platform::mbcs {

// The iconv name of a code page, null for one that has none here.
const char* IconvName(unsigned codePage);

// Results besides a unit count.
constexpr std::size_t kMbcsOverflow = static_cast<std::size_t>(-1);      // the result did not fit
constexpr std::size_t kMbcsUnsupported = static_cast<std::size_t>(-2);   // no converter

// Units the conversion of n input units gives, found without converting
// where the code page has tables.
std::size_t MbcsToWideCount(unsigned codePage, const char* src, std::size_t n);
std::size_t WideToMbcsCount(unsigned codePage, const wchar_t* src, std::size_t n);

// The conversion into capacity units at most, in one pass.
std::size_t MbcsToWide(unsigned codePage, const char* src, std::size_t n, wchar_t* dst, std::size_t capacity);
std::size_t WideToMbcs(unsigned codePage, const wchar_t* src, std::size_t n, char* dst, std::size_t capacity);

// The same over a text that ends at its first NUL, the NUL converted too:
// where the code page has tables, its length is found as it is converted.
std::size_t MbcsToWideCountTerminated(unsigned codePage, const char* src);
std::size_t MbcsToWideTerminated(unsigned codePage, const char* src, wchar_t* dst, std::size_t capacity);
std::size_t WideToMbcsCountTerminated(unsigned codePage, const wchar_t* src);
std::size_t WideToMbcsTerminated(unsigned codePage, const wchar_t* src, char* dst, std::size_t capacity);

// Whether the code page converts through tables in the given direction.
bool MbcsDecodesByTable(unsigned codePage);
bool MbcsEncodesByTable(unsigned codePage);

}  // namespace brim::platform::mbcs
