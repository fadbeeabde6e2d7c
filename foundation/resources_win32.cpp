#include "foundation/platform.h"

#include "foundation/module_win32.h"

namespace brim::platform {
namespace {
bool LoadFrom(HMODULE module, UINT id, std::wstring& text) {
    const wchar_t* entry = nullptr;
    // With a buffer size of 0, LoadStringW hands out a read-only pointer into
    // the resource itself, so entries of any length are read whole.
    const int n = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&entry), 0);
    if (n <= 0 || entry == nullptr) return false;
    text.assign(entry, static_cast<std::size_t>(n));
    return true;
}
}  // namespace

bool LoadStringResource(UINT id, std::wstring& text) {
    return LoadFrom(::GetModuleHandleW(nullptr), id, text) || LoadFrom(LibraryModule(), id, text);
}

}  // namespace brim::platform
