// The registry as the library uses it: the Win32 calls on Windows, the
// per-user SQLite store on POSIX. Results are Windows error codes (0 on
// success) with the Win32 meanings: 2 for a missing key or value, 234 when
// the caller's buffer is too small (the size needed is reported), 259 past
// the last sub-key.
#pragma once

#include <brim/config.h>

#include <string>
#include <vector>

namespace brim::platform {

constexpr DWORD kKeyRead = 0x20019;
constexpr DWORD kKeyWrite = 0x20006;
constexpr DWORD kRegSz = 1;
constexpr DWORD kRegDword = 4;
constexpr LONG kMoreData = 234;
constexpr LONG kNoMoreItems = 259;
constexpr LONG kKeyDeleted = 1018;

// subKey: key names separated by backslashes, relative to root.
LONG KeyOpen(HKEY root, const wchar_t* subKey, DWORD access, HKEY* key);
// Creates the missing keys along subKey.
LONG KeyCreate(HKEY root, const wchar_t* subKey, DWORD access, HKEY* key);
void KeyClose(HKEY key);
// Fails (5) while the key has sub-keys; its values go with it.
LONG KeyDelete(HKEY root, const wchar_t* subKey);
// name: a buffer of *nameLength characters; on success *nameLength is the
// name's length without the terminator. Sub-keys come in name order.
LONG KeyEnum(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength);

// RegQueryValueExW: data may be null to ask for the size; *size is in
// bytes. String data is UTF-16LE on every platform.
LONG ValueQuery(HKEY key, const wchar_t* name, DWORD* type, void* data, DWORD* size);
LONG ValueSet(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size);
LONG ValueDelete(HKEY key, const wchar_t* name);

}  // namespace brim::platform

namespace brim::detail {

// The calls above return their code and leave the last error alone, as the
// Win32 ones do. The library's callers pass each result through here, so
// that a failure they report only as false, 0 or empty still leaves its
// reason as the thread's last error.
inline bool Succeeded(LONG rc) {
    if (rc != 0) SetLastError(static_cast<DWORD>(rc));
    return rc == 0;
}

// Closes the key it holds when it goes out of scope.
class ScopedKey {
public:
    ScopedKey() = default;
    ~ScopedKey() { if (m_key != nullptr) platform::KeyClose(m_key); }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// A string value as the registry stores it: UTF-16LE with its terminator.
std::vector<unsigned char> StringValueBytes(const wchar_t* text);
// The text of UTF-16LE value data, up to its first terminator or the end.
std::wstring StringFromValueBytes(const unsigned char* data, std::size_t size);

}  // namespace brim::detail
