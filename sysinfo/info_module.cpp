#include <brim/sysinfo.h>

#include "framework/resources/module.h"
#include "framework/files/path_split.h"
#include "framework/strings/wformat.h"
#include "framework/system/system.h"

#include <cstring>
#include <cwchar>

namespace {
constexpr std::size_t kQueryPathCapacity = 256;
constexpr std::size_t kDriveCapacity = 3;
constexpr std::size_t kFolderCapacity = 256;

// The query path for key, or false when it does not fit its buffer.
bool StringPath(const void* version, const wchar_t* key, wchar_t* path) {
    const void* value = nullptr;
    UINT length = 0;
    std::size_t n;
    if (brim::platform::VersionQuery(version, L"\\VarFileInfo\\Translation", &value, &length) && length == 4) {
        DWORD translation;
        std::memcpy(&translation, value, sizeof translation);
        const unsigned language = translation & 0xFFFF, codePage = translation >> 16;
        n = brim::detail::FormatBounded(path, kQueryPathCapacity, L"\\StringFileInfo\\%02X%02X%02X%02X\\%s",
                                        language >> 8, language & 0xFF, codePage >> 8, codePage & 0xFF, key);
    } else {
        n = brim::detail::FormatBounded(path, kQueryPathCapacity, L"\\StringFileInfo\\%04X04B0\\%s",
                                        static_cast<unsigned>(brim::platform::UserDefaultLanguage()), key);
    }
    // A cut path would ask for another key: refuse it instead.
    return n == 25 + std::wcslen(key);   // prefix, eight hex digits and separators: 25
}
}  // namespace

CStringW CBrimInfoModule::GetVersionInfo(HINSTANCE module, const wchar_t* key) {
    CStringW result;
    if (module == nullptr) module = AfxGetResourceHandle();
    const void* version = brim::platform::FindVersionResource(module);
    wchar_t path[kQueryPathCapacity];
    if (version != nullptr && key != nullptr && StringPath(version, key, path)) {
        const void* value = nullptr;
        UINT length = 0;
        if (brim::platform::VersionQuery(version, path, &value, &length)) result = static_cast<const wchar_t*>(value);
    }
    result.TrimLeft();
    result.Replace(L",", L".");
    result.Remove(L' ');
    result.TrimRight();
    return result;
}

int CBrimInfoModule::Process32Count(const wchar_t* exeName) {
    std::vector<std::wstring> names;
    if (exeName == nullptr || !brim::platform::ProcessNames(names)) return 0;
    int count = 0;
    for (const std::wstring& name : names) {
        if (name == exeName) ++count;
    }
    return count;
}

CStringW CBrimInfoModule::GetCurrentPath() {
    const brim::detail::PathParts parts = brim::detail::SplitPath(brim::platform::ExecutablePath().c_str());
    if (parts.drive.size() >= kDriveCapacity || parts.dir.size() >= kFolderCapacity) return CStringW();
    return CStringW((parts.drive + parts.dir).c_str());
}

void CBrimInfoModule::GetVMemoryUsage(unsigned long long* workingSet, unsigned long long* pagefileUsage) {
    ULONGLONG resident = 0, committed = 0;
    if (!brim::platform::MemoryCounters(&resident, &committed)) return;
    if (workingSet != nullptr) *workingSet = resident;
    if (pagefileUsage != nullptr) *pagefileUsage = committed;
}

CStringW CBrimInfoModule::GetAppName() {
    const CWinApp* app = AfxGetApp();
    return app != nullptr ? CStringW(app->m_pszAppName) : CStringW();
}
