#include "framework/files/native_path_posix.h"

#include "framework/codepages/utf8.h"
#include "framework/errors/error_codes.h"

#include <cstring>
#include <cwchar>

namespace brim::platform {
namespace {

bool StartsWithDrive(const wchar_t* path, std::size_t n) {
    return n >= 2 && path[1] == L':' && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

// Swaps the two spellings of a backslash in place: separator <-> name byte.
template <class Char>
void Swap(Char* text, std::size_t n, Char from, Char to) {
    for (std::size_t k = 0; k < n; ++k)
        if (text[k] == from) text[k] = to;
}

}  // namespace

bool NativePath(const wchar_t* path, std::size_t n, std::string& native) {
    if (StartsWithDrive(path, n)) {
        SetLastError(err::kPathNotFound);
        return false;
    }
    if (std::wmemchr(path, L'\\', n) == nullptr && std::wmemchr(path, kBackslashInName, n) == nullptr) {
        native = detail::WideNameToUtf8(path, n);
        return true;
    }
    std::wstring text(path, n);
    Swap(text.data(), n, L'\\', L'/');
    Swap(text.data(), n, kBackslashInName, L'\\');
    native = detail::WideNameToUtf8(text.data(), text.size());
    return true;
}

bool NativePath(const wchar_t* path, std::string& native) { return NativePath(path, std::wcslen(path), native); }

void NameFromNative(const char* bytes, std::size_t n, CStringW& name) {
    // Decoded straight into the string: this runs once per entry of a walk.
    // Most names are ASCII, widened here without the converter's two passes.
    unsigned char any = 0;
    for (std::size_t k = 0; k < n; ++k) any |= static_cast<unsigned char>(bytes[k]);
    const std::size_t units = any < 0x80 ? n : detail::Utf8ToWideCount(bytes, n);
    wchar_t* buffer = name.GetBufferSetLength(static_cast<int>(units));
    if (any < 0x80) {
        for (std::size_t k = 0; k < n; ++k) buffer[k] = static_cast<wchar_t>(bytes[k]);
    } else {
        detail::Utf8ToWideConvert(bytes, n, buffer);
        // U+FFFD: a byte that is not UTF-8 (or the name's own U+FFFD), which
        // the name decoding keeps.
        if (std::wmemchr(buffer, 0xFFFD, units) != nullptr) {
            name.ReleaseBuffer(static_cast<int>(units));
            const std::wstring wide = NameFromNative(bytes, n);
            name = CStringW(wide.data(), static_cast<int>(wide.size()));
            return;
        }
    }
    if (std::memchr(bytes, '\\', n) != nullptr) Swap(buffer, units, L'\\', kBackslashInName);
    name.ReleaseBuffer(static_cast<int>(units));
}

std::wstring NameFromNative(const char* bytes, std::size_t n) {
    std::wstring name = detail::Utf8NameToWide(bytes, n);
    Swap(name.data(), name.size(), L'\\', kBackslashInName);
    return name;
}

}  // namespace brim::platform
