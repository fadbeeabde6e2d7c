// Host tools on POSIX: anonymous mappings, /proc/self/status and the C
// library's local time.

#include "framework/system/host_platform.h"

#include "framework/errors/errno_posix.h"
#include "framework/errors/error_codes.h"

#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace brim::platform {

std::size_t PageSize() {
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

void* PagesCommit(std::size_t bytes) {
    void* base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        SetLastError(errno == ENOMEM ? err::kNotEnoughMemory : ErrnoToWin32(errno));
        return nullptr;
    }
    return base;
}

bool PagesRelease(void* base, std::size_t bytes) {
    if (munmap(base, bytes) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

// Working set = VmRSS, page-file usage = VmData (private writable memory,
// the nearest thing to Windows' private commit); /proc gives them in kB.
bool ProcessMemoryCounters(std::uint64_t* workingSet, std::uint64_t* pageFileUsage) {
    std::FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    bool haveRss = false, haveData = false;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        unsigned long long kb = 0;
        if (std::sscanf(line, "VmRSS: %llu kB", &kb) == 1) {
            *workingSet = kb * 1024;
            haveRss = true;
        } else if (std::sscanf(line, "VmData: %llu kB", &kb) == 1) {
            *pageFileUsage = kb * 1024;
            haveData = true;
        }
    }
    std::fclose(status);
    if (!haveRss || !haveData) SetLastError(err::kNotSupported);
    return haveRss && haveData;
}

void LocalTimeNow(SYSTEMTIME* time) {
    struct timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local = {};
    const time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    // A leap second shows as :59, as Windows never reports :60.
    time->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

namespace {
bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1601-01-01 to the given date (proleptic Gregorian calendar).
std::uint64_t DaysSince1601(unsigned year, unsigned month, unsigned day) {
    const std::uint64_t y = year - 1601;
    std::uint64_t days = y * 365 + y / 4 - y / 100 + y / 400;
    for (unsigned m = 1; m < month; ++m) days += DaysInMonth(year, m);
    return days + day - 1;
}
}  // namespace

bool SystemTimeToFileTime64(const SYSTEMTIME& t, std::uint64_t* fileTime) {
    // The range Windows accepts.
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
        t.wMilliseconds > 999) {
        SetLastError(err::kInvalidParameter);
        return false;
    }
    const std::uint64_t days = DaysSince1601(t.wYear, t.wMonth, t.wDay);
    const std::uint64_t ms = ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + t.wSecond * 1000ull + t.wMilliseconds;
    *fileTime = ms * 10000;
    return true;
}

}  // namespace brim::platform
