#include "framework/registry/registry.h"

#include <cwchar>

namespace brim::detail {

std::vector<unsigned char> StringValueBytes(const wchar_t* text) {
    std::vector<unsigned char> bytes;
    auto put = [&bytes](unsigned unit) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    };
    for (const wchar_t* p = text ? text : L""; *p != 0; ++p) {
        const auto c = static_cast<unsigned long>(*p);
        if (c > 0xFFFF && c <= 0x10FFFF) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c > 0xFFFF ? 0xFFFD : static_cast<unsigned>(c));
        }
    }
    put(0);
    return bytes;
}

std::wstring StringFromValueBytes(const unsigned char* data, std::size_t size) {
    std::wstring text;
    for (std::size_t k = 0; k + 1 < size; k += 2) {
        const unsigned unit = data[k] | (data[k + 1] << 8);
        if (unit == 0) break;
        if constexpr (sizeof(wchar_t) == 2) {
            text.push_back(static_cast<wchar_t>(unit));
        } else if (unit >= 0xD800 && unit < 0xDC00 && k + 3 < size) {
            const unsigned low = data[k + 2] | (data[k + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                k += 2;
            } else {
                text.push_back(static_cast<wchar_t>(0xFFFD));
            }
        } else {
            text.push_back(static_cast<wchar_t>(unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit));
        }
    }
    return text;
}

}  // namespace brim::detail
