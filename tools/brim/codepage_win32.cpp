#include "tools/brim/decode.h"

#include <climits>
#include <vector>

namespace brimtool {

bool DecodeCodePage(unsigned int codePage, const unsigned char* bytes, std::size_t size, CStringW& text) {
    if (!::IsValidCodePage(codePage) || size > INT_MAX) return false;
    text.Empty();
    if (size == 0) return true;
    const char* in = reinterpret_cast<const char*>(bytes);
    const int n = ::MultiByteToWideChar(codePage, 0, in, static_cast<int>(size), nullptr, 0);
    if (n <= 0) return false;
    std::vector<wchar_t> wide(static_cast<std::size_t>(n) + 1);
    ::MultiByteToWideChar(codePage, 0, in, static_cast<int>(size), wide.data(), n);
    text = CStringW(wide.data(), n);
    return true;
}

}  // namespace brimtool
