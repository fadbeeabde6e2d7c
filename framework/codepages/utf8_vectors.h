// The vector loops of the UTF-8 converter (x86-64 outside Windows, picked at
// run time): one set for AVX2, one for AVX-512 with VBMI2. Each loop converts
// a leading part of its input, from position i and output unit o on, and
// leaves i and o where it stopped; the portable code in utf8.cpp does the
// rest, so the portable code alone defines the results.
#pragma once

#include "framework/codepages/cpu_features.h"

#include <cstddef>

#if BRIM_WIDE_VECTORS
namespace brim::detail {

static_assert(sizeof(wchar_t) == 4, "outside Windows wchar_t holds UTF-32");

// UTF-8 is taken 64 bytes at a time, wide text 16 units at a time.
constexpr std::size_t kVectorChunk = 64;
constexpr std::size_t kVectorWideStep = 16;

// Input and capacity the loops leave to the portable code.
constexpr std::size_t kVectorUtf8InputRoom = 128;    // bytes
constexpr std::size_t kVectorWideOutputRoom = 80;    // units
constexpr std::size_t kVectorWideInputRoom = 32;     // units
constexpr std::size_t kVectorUtf8OutputRoom = 80;    // bytes

// Sequence length by the high nibble of its first byte (continuations: 1).
constexpr unsigned char kSequenceLength[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 3, 4};

// Where the last whole sequence of a well-formed 64-byte chunk ends, starts
// holding a bit for each byte that is not a continuation (p[0] is one).
inline std::size_t CompleteEnd(const unsigned char* p, unsigned long long starts) {
    const auto last = static_cast<std::size_t>(63 - __builtin_clzll(starts));
    return last + kSequenceLength[p[last] >> 4] > 64 ? last : 64;
}

// Ends a count loop that checked s[first..in) and found units there: a
// sequence cut by in is left (and uncounted) for the next step, as the rest
// of it is not checked yet. Stores where the next step starts in i and adds
// the units to count.
inline void EndCount(const unsigned char* s, std::size_t first, std::size_t in, std::size_t units, std::size_t& i,
                     std::size_t& count) {
    if (in != first) {
        std::size_t lead = in;
        if (s[in - 1] >= 0xC0) {
            lead = in - 1;
        } else if (s[in - 2] >= 0xE0) {
            lead = in - 2;
        } else if (s[in - 3] >= 0xF0) {
            lead = in - 3;
        }
        if (lead != in) {
            --units;
            in = lead;
        }
    }
    i = in;
    count += units;
}

// Inputs from this size on are widened with streaming stores: their output,
// four bytes a unit, is far larger than a core's caches.
constexpr std::size_t kStreamedInput = std::size_t{1} << 20;

#define BRIM_UTF8_VECTOR_LOOPS                                                                                  \
    /* UTF-8 to UTF-32. Stops where the portable decoder would start a sequence: near the end of the input, */ \
    /* near the end of the capacity, or before 64 bytes that are not well-formed; then it returns true, and */  \
    /* the caller decodes those before calling again. */                                                       \
    bool Utf8ToWide(const unsigned char* s, std::size_t n, std::size_t& i, wchar_t* dst, std::size_t& o,        \
                    std::size_t capacity);                                                                     \
    /* The same, adding to count the units of what it passes. */                                             \
    bool Utf8ToWideCount(const unsigned char* s, std::size_t n, std::size_t& i, std::size_t& count);           \
    /* UTF-32 to UTF-8, substitutions included; stops near the end of the input or of the capacity. */        \
    void WideToUtf8(const wchar_t* s, std::size_t n, std::size_t& i, char* dst, std::size_t& o,                \
                    std::size_t capacity);                                                                     \
    void WideToUtf8Count(const wchar_t* s, std::size_t n, std::size_t& i, std::size_t& count);

namespace avx2 {
BRIM_UTF8_VECTOR_LOOPS
}
namespace avx512 {
BRIM_UTF8_VECTOR_LOOPS
// strnlen(s, limit), also telling whether the bytes before that length are
// all ASCII (false may also mean it could not tell). It reads whole aligned
// 64-byte lines: they never reach a page the text does not, but they do
// reach past its ends.
std::size_t ScanText(const char* s, std::size_t limit, bool& ascii);
}
#undef BRIM_UTF8_VECTOR_LOOPS

}  // namespace brim::detail
#endif
