#include <brim/env.h>

#include "framework/registry/registry.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using brim::detail::ScopedKey;
using brim::detail::Succeeded;
namespace platform = brim::platform;

constexpr DWORD kStringReadLimit = 260;      // bytes of value data
constexpr DWORD kEnumNameCapacity = 260;     // characters per enumerated name
constexpr std::size_t kAppendLimit = 520;    // characters, terminator included, appended per level

void Say(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
}

// Depth-first: always the first remaining child, stopping at the first one
// that cannot be deleted. path is the library's own copy of the caller's
// buffer, so no level can outgrow the caller's memory.
int DeleteTree(HKEY root, std::wstring& path) {
    if (platform::KeyDelete(root, path.c_str()) == 0) return 1;
    ScopedKey key;
    const LONG rc = platform::KeyOpen(root, path.c_str(), platform::kKeyRead, key.Out());
    if (rc == 2) {
        Say("Key not found.\n");
        return 1;
    }
    if (rc != 0) {
        Say("Error opening key.\n");
        return 0;
    }
    if (path.back() != L'\\') path += L'\\';
    const std::size_t mark = path.size();
    wchar_t name[kEnumNameCapacity];
    DWORD length = kEnumNameCapacity;
    while (platform::KeyEnum(key.Get(), 0, name, &length) == 0) {
        path.resize(mark);
        path.append(name, length < kAppendLimit - 1 ? length : kAppendLimit - 1);
        if (DeleteTree(root, path) == 0) break;
        length = kEnumNameCapacity;
    }
    path.resize(mark - 1);
    return platform::KeyDelete(root, path.c_str()) == 0 ? 1 : 0;
}

bool NamesAKey(const wchar_t* path) {
    for (const wchar_t* p = path; *p != 0; ++p) {
        if (*p != L'\\') return true;
    }
    return false;
}

}  // namespace

CBrimRegistry::CBrimRegistry() : m_pApp(nullptr) {}
CBrimRegistry::CBrimRegistry(const CBrimRegistry& other) = default;
CBrimRegistry& CBrimRegistry::operator=(const CBrimRegistry& other) = default;
CBrimRegistry::~CBrimRegistry() = default;

void CBrimRegistry::SetApp(CWinApp* app) { m_pApp = app; }

CStringW CBrimRegistry::UserReadString(const wchar_t* section, const wchar_t* entry,
                                       const wchar_t* defaultValue) const {
    return m_pApp->GetProfileString(section, entry, defaultValue);
}

bool CBrimRegistry::UserWriteString(const wchar_t* section, const wchar_t* entry, const wchar_t* value) const {
    return m_pApp->WriteProfileString(section, entry, value) != FALSE;
}

int CBrimRegistry::UserReadInt(const wchar_t* section, const wchar_t* entry, const int& defaultValue) const {
    return static_cast<int>(m_pApp->GetProfileInt(section, entry, defaultValue));
}

bool CBrimRegistry::UserWriteInt(const wchar_t* section, const wchar_t* entry, const int& value) const {
    return m_pApp->WriteProfileInt(section, entry, value) != FALSE;
}

CStringW CBrimRegistry::LocalReadString(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName) {
    ScopedKey key;
    if (!Succeeded(platform::KeyOpen(root, subKey, platform::kKeyRead, key.Out()))) return CStringW();
    unsigned char data[kStringReadLimit];
    DWORD size = sizeof data;
    if (!Succeeded(platform::ValueQuery(key.Get(), valueName, nullptr, data, &size))) return CStringW();
    return CStringW(brim::detail::StringFromValueBytes(data, size).c_str());
}

DWORD CBrimRegistry::LocalValueStatus(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName) {
    ScopedKey key;
    const LONG opened = platform::KeyOpen(root, subKey, platform::kKeyRead, key.Out());
    if (opened != 0) return static_cast<DWORD>(opened);
    DWORD size = 0;   // no buffer: only whether it is there
    return static_cast<DWORD>(platform::ValueQuery(key.Get(), valueName, nullptr, nullptr, &size));
}

bool CBrimRegistry::LocalWriteString(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName,
                                     const wchar_t* value) {
    ScopedKey key;
    if (!Succeeded(platform::KeyCreate(root, subKey, platform::kKeyWrite, key.Out()))) return false;
    const std::vector<unsigned char> bytes = brim::detail::StringValueBytes(value);
    return Succeeded(platform::ValueSet(key.Get(), valueName, platform::kRegSz, bytes.data(),
                                        static_cast<DWORD>(bytes.size())));
}

int CBrimRegistry::LocalReadInt(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName) {
    ScopedKey key;
    if (!Succeeded(platform::KeyOpen(root, subKey, platform::kKeyRead, key.Out()))) return 0;
    std::int32_t value = 0;
    DWORD size = sizeof value;
    if (!Succeeded(platform::ValueQuery(key.Get(), valueName, nullptr, &value, &size))) return 0;
    return value;
}

bool CBrimRegistry::LocalWriteInt(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName,
                                  const unsigned long& value) {
    ScopedKey key;
    if (!Succeeded(platform::KeyCreate(root, subKey, platform::kKeyWrite, key.Out()))) return false;
    const DWORD number = static_cast<DWORD>(value);
    return Succeeded(platform::ValueSet(key.Get(), valueName, platform::kRegDword, &number, sizeof number));
}

int CBrimRegistry::LocalDeleteSubKey(HKEY const& root, wchar_t* subKey) {
    // An empty path would name root itself and lead to deleting all it holds.
    if (subKey == nullptr || !NamesAKey(subKey)) return 0;
    std::wstring path(subKey);
    const bool trailing = path.back() == L'\\';
    const int result = DeleteTree(root, path);
    // The only trace in the caller's buffer: a trailing backslash is cut when
    // the deletion went below the key (the path then ends where it did).
    if (trailing && path.size() + 1 == std::wcslen(subKey)) subKey[path.size()] = 0;
    return result;
}
