// The UTF-8 converter's vector paths against its portable path, byte for
// byte: the input read as UTF-8 and, four bytes a unit, as wide text. Counts,
// units, overflow at one unit short, and no store past the counted size.
#include "framework/codepages/utf8.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using brim::detail::VectorPath;

constexpr unsigned char kGuard = 0xA5;

template <typename Unit, typename Count, typename Convert>
std::vector<Unit> Run(VectorPath path, Count count, Convert convert) {
    const std::size_t n = count(path);
    // Exactly the counted size plus guards, each checked by byte.
    std::vector<Unit> out(n + 64);
    std::memset(out.data(), kGuard, out.size() * sizeof(Unit));
    if (convert(path, out.data(), brim::detail::kNoLimit) != n) std::abort();
    const auto* guard = reinterpret_cast<const unsigned char*>(out.data() + n);
    for (std::size_t k = 0; k < 64 * sizeof(Unit); ++k) {
        if (guard[k] != kGuard) std::abort();
    }
    if (n > 0 && convert(path, out.data(), n - 1) != brim::detail::kOverflow) std::abort();
    if (n > 0 && convert(path, out.data(), n) != n) std::abort();
    out.resize(n);
    return out;
}

template <typename Unit, typename Count, typename Convert>
void Compare(Count count, Convert convert) {
    const std::vector<Unit> expected = Run<Unit>(VectorPath::kPortable, count, convert);
    for (VectorPath path : {VectorPath::kAvx2, VectorPath::kAvx512}) {
        if (path > brim::detail::BestVectorPath()) continue;
        if (Run<Unit>(path, count, convert) != expected) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* text = reinterpret_cast<const char*>(data);
    Compare<wchar_t>([&](VectorPath p) { return brim::detail::Utf8ToWideCountOn(p, text, size); },
                     [&](VectorPath p, wchar_t* dst, std::size_t capacity) {
                         return brim::detail::Utf8ToWideConvertOn(p, text, size, dst, capacity);
                     });

    // The same bytes as a terminated text (up to the first zero), read to its
    // end by the terminated conversions, which find that end as they go.
    const std::string terminated(text, strnlen(text, size));
    const std::size_t whole = brim::detail::Utf8ToWideCount(terminated.c_str(), terminated.size() + 1);
    std::size_t bytes = 0;
    if (brim::detail::Utf8ToWideCountTerminated(terminated.c_str(), bytes) != whole || bytes != terminated.size() + 1) {
        std::abort();
    }
    std::vector<wchar_t> expected(whole), got(whole);
    brim::detail::Utf8ToWideConvert(terminated.c_str(), terminated.size() + 1, expected.data());
    if (brim::detail::Utf8ToWideConvertTerminated(terminated.c_str(), got.data(), whole) != whole || got != expected) {
        std::abort();
    }

    // Mostly code points (surrogates among them), some ASCII, some raw values.
    std::vector<wchar_t> wide(size / 4);
    for (std::size_t k = 0; k < wide.size(); ++k) {
        std::uint32_t v;
        std::memcpy(&v, data + 4 * k, 4);
        if ((v >> 30) == 0) v %= 0x110000;
        else if ((v >> 30) == 1) v &= 0x7F;
        else if ((v >> 30) == 2) v = 0xAC00 + v % 11172;
        wide[k] = static_cast<wchar_t>(v);
    }
    Compare<char>([&](VectorPath p) { return brim::detail::WideToUtf8CountOn(p, wide.data(), wide.size()); },
                  [&](VectorPath p, char* dst, std::size_t capacity) {
                      return brim::detail::WideToUtf8ConvertOn(p, wide.data(), wide.size(), dst, capacity);
                  });
    return 0;
}
