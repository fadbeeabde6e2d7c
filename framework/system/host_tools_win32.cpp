// Host tools on Windows: VirtualAlloc, the process's memory counters and the
// system's local time.

#include "framework/system/host_platform.h"

#include <psapi.h>

namespace brim::platform {

std::size_t PageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void* PagesCommit(std::size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE); }

bool PagesRelease(void* base, std::size_t) { return VirtualFree(base, 0, MEM_RELEASE) != FALSE; }

bool ProcessMemoryCounters(std::uint64_t* workingSet, std::uint64_t* pageFileUsage) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId());
    if (process == nullptr) return false;
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    const BOOL ok = GetProcessMemoryInfo(process, &counters, sizeof counters);
    CloseHandle(process);
    if (!ok) return false;
    *workingSet = counters.WorkingSetSize;
    *pageFileUsage = counters.PagefileUsage;
    return true;
}

void LocalTimeNow(SYSTEMTIME* time) { GetLocalTime(time); }

bool SystemTimeToFileTime64(const SYSTEMTIME& time, std::uint64_t* fileTime) {
    FILETIME ft;
    if (!SystemTimeToFileTime(&time, &ft)) return false;
    *fileTime = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return true;
}

}  // namespace brim::platform
