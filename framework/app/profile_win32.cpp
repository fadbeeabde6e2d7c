#include "framework/app/profile.h"

#include <vector>

namespace brim::platform {

std::wstring ProfileGetString(const wchar_t* file, const wchar_t* section, const wchar_t* entry,
                              const wchar_t* defaultValue) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD n = ::GetPrivateProfileStringW(section, entry, defaultValue, buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), file);
        // n == size - 1 means the text was cut to fit: try a larger buffer.
        if (n + 1 < buffer.size() || buffer.size() >= (1u << 20)) return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 4);
    }
}

UINT ProfileGetInt(const wchar_t* file, const wchar_t* section, const wchar_t* entry, int defaultValue) {
    return ::GetPrivateProfileIntW(section, entry, defaultValue, file);
}

bool ProfileWriteString(const wchar_t* file, const wchar_t* section, const wchar_t* entry, const wchar_t* value) {
    return ::WritePrivateProfileStringW(section, entry, value, file) != FALSE;
}

}  // namespace brim::platform
