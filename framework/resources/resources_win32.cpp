#include "framework/resources/module.h"
#include "framework/resources/string_table.h"

#include "framework/resources/module_win32.h"

#include <brim/framework.h>

namespace brim::platform {
namespace {
bool LoadFrom(HMODULE module, UINT id, std::wstring& text) {
    if (module == nullptr) return false;
    const wchar_t* entry = nullptr;
    // With a buffer size of 0, LoadStringW hands out a read-only pointer into
    // the resource itself, so entries of any length are read whole.
    const int n = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&entry), 0);
    if (n <= 0 || entry == nullptr) return false;
    text.assign(entry, static_cast<std::size_t>(n));
    return true;
}

const void* Locked(HMODULE module, const wchar_t* type, const wchar_t* name, DWORD* size) {
    HRSRC found = ::FindResourceW(module, name, type);
    if (found == nullptr) return nullptr;
    HGLOBAL loaded = ::LoadResource(module, found);
    if (loaded == nullptr) return nullptr;
    *size = ::SizeofResource(module, found);
    return ::LockResource(loaded);
}
}  // namespace

bool LoadStringResource(UINT id, std::wstring& text) {
    return LoadFrom(AfxGetResourceHandle(), id, text) || LoadFrom(::GetModuleHandleW(nullptr), id, text) ||
           LoadFrom(LibraryModule(), id, text);
}

bool FindResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name, const void** data, DWORD* size) {
    DWORD n = 0;
    const void* bytes = Locked(module, type, name, &n);
    if (bytes == nullptr) return false;
    *data = bytes;
    *size = n;
    return true;
}

const void* FindVersionResource(HMODULE module) {
    DWORD size = 0;
    return Locked(module, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), &size);
}

bool VersionQuery(const void* version, const wchar_t* path, const void** value, UINT* length) {
    void* found = nullptr;
    UINT n = 0;
    if (!::VerQueryValueW(version, path, &found, &n) || found == nullptr) return false;
    *value = found;
    *length = n;
    return true;
}

}  // namespace brim::platform
