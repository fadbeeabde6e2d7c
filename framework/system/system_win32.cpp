#include "framework/system/system.h"

#include <psapi.h>
#include <tlhelp32.h>

namespace brim::platform {

// Every root takes four characters: letter, colon, backslash, zero.
bool DriveRoots(std::vector<std::wstring>& roots) {
    wchar_t buffer[256] = {};
    const DWORD n = ::GetLogicalDriveStringsW(256, buffer);
    if (n == 0 || n > 256) return false;
    for (DWORD k = 0; k < n / 4; ++k) roots.emplace_back(buffer + 4 * k);
    return true;
}

bool SystemDriveRoot(std::wstring& root) {
    wchar_t folder[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0) return false;
    if (n < 3 || n >= MAX_PATH) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    root.assign(folder, 3);
    return true;
}

DWORD ExpandEnvironment(const wchar_t* source, wchar_t* destination, DWORD size) {
    return ::ExpandEnvironmentStringsW(source, destination, size);
}

bool VolumeSerial(const wchar_t* root, DWORD* serial) {
    return ::GetVolumeInformationW(root, nullptr, 0, serial, nullptr, nullptr, nullptr, 0) != FALSE;
}

bool ProcessNames(std::vector<std::wstring>& names) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!::Process32FirstW(snapshot, &entry)) {
        ::CloseHandle(snapshot);
        return false;
    }
    do {
        names.emplace_back(entry.szExeFile);
    } while (::Process32NextW(snapshot, &entry));
    ::CloseHandle(snapshot);
    return true;
}

bool MemoryCounters(ULONGLONG* workingSet, ULONGLONG* privateBytes) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ::GetCurrentProcessId());
    if (process == nullptr) return false;
    PROCESS_MEMORY_COUNTERS counters{};
    const bool ok = ::K32GetProcessMemoryInfo(process, &counters, sizeof counters) != FALSE;
    if (ok) {
        *workingSet = counters.WorkingSetSize;
        *privateBytes = counters.PagefileUsage;
    }
    ::CloseHandle(process);
    return ok;
}

WORD UserDefaultLanguage() { return ::GetUserDefaultLangID(); }

// Large pages on Windows need a privilege few users hold: no hint.
void AdviseLargeBlock(void*, std::size_t) {}

}  // namespace brim::platform
