#include "framework/registry/registry.h"

namespace brim::platform {

LONG KeyOpen(HKEY root, const wchar_t* subKey, DWORD access, HKEY* key) {
    return ::RegOpenKeyExW(root, subKey, 0, access, key);
}

LONG KeyCreate(HKEY root, const wchar_t* subKey, DWORD access, HKEY* key) {
    return ::RegCreateKeyExW(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
}

void KeyClose(HKEY key) { ::RegCloseKey(key); }

LONG KeyDelete(HKEY root, const wchar_t* subKey) { return ::RegDeleteKeyW(root, subKey); }

LONG KeyEnum(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) {
    return ::RegEnumKeyExW(key, index, name, nameLength, nullptr, nullptr, nullptr, nullptr);
}

LONG ValueQuery(HKEY key, const wchar_t* name, DWORD* type, void* data, DWORD* size) {
    return ::RegQueryValueExW(key, name, nullptr, type, static_cast<BYTE*>(data), size);
}

LONG ValueSet(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    return ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

LONG ValueDelete(HKEY key, const wchar_t* name) { return ::RegDeleteValueW(key, name); }

}  // namespace brim::platform
