#include "text/utf16le.h"

#include <cstdint>

namespace brim::detail {
namespace {

std::uint32_t UnitAt(const unsigned char* data, std::size_t k) {
    return static_cast<std::uint32_t>(data[2 * k]) | (static_cast<std::uint32_t>(data[2 * k + 1]) << 8);
}

bool IsHigh(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Calls emit with each wide unit, up to the first zero unit.
template <typename Emit>
void Decode(const unsigned char* data, std::size_t units, Emit emit) {
    for (std::size_t k = 0; k < units; ++k) {
        const std::uint32_t u = UnitAt(data, k);
        if (u == 0) return;
        if (sizeof(wchar_t) > 2 && IsHigh(u) && k + 1 < units && IsLow(UnitAt(data, k + 1))) {
            emit(0x10000 + ((u - 0xD800) << 10) + (UnitAt(data, k + 1) - 0xDC00));
            ++k;
        } else {
            emit(u);
        }
    }
}

void Put(unsigned char*& out, std::uint32_t unit) {
    *out++ = static_cast<unsigned char>(unit & 0xFF);
    *out++ = static_cast<unsigned char>(unit >> 8);
}

}  // namespace

std::size_t Utf16LeToWideCount(const unsigned char* data, std::size_t units) {
    std::size_t n = 0;
    Decode(data, units, [&](std::uint32_t) { ++n; });
    return n;
}

void Utf16LeToWide(const unsigned char* data, std::size_t units, wchar_t* out) {
    Decode(data, units, [&](std::uint32_t c) { *out++ = static_cast<wchar_t>(c); });
}

std::size_t WideToUtf16Le(const wchar_t* src, std::size_t n, unsigned char* out) {
    unsigned char* start = out;
    constexpr std::size_t kRun = 16;
    for (std::size_t k = 0; k < n;) {
        // Runs of the basic plane, the common case, in a form the compiler
        // turns into vector code: each unit is its own two bytes.
        if (k + kRun <= n) {
            std::uint32_t any = 0;
            for (std::size_t j = 0; j < kRun; ++j) any |= static_cast<std::uint32_t>(src[k + j]);
            if (sizeof(wchar_t) == 2 || any < 0x10000) {
                for (std::size_t j = 0; j < kRun; ++j) {
                    const auto c = static_cast<std::uint32_t>(src[k + j]);
                    out[2 * j] = static_cast<unsigned char>(c);
                    out[2 * j + 1] = static_cast<unsigned char>(c >> 8);
                }
                out += 2 * kRun;
                k += kRun;
                continue;
            }
        }
        auto c = static_cast<std::uint32_t>(src[k++]);
        if (sizeof(wchar_t) == 2) c &= 0xFFFF;
        if (c > 0x10FFFF) c = 0xFFFD;
        if (c >= 0x10000) {
            Put(out, 0xD800 + ((c - 0x10000) >> 10));
            Put(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            Put(out, c);
        }
    }
    return static_cast<std::size_t>(out - start);
}

}  // namespace brim::detail
