// The platform pieces of the host tools: committed pages, the process's
// memory figures and local time. One implementation per platform
// (host_tools_posix.cpp, host_tools_win32.cpp).
#pragma once

#include <brim/config.h>

#include <cstddef>
#include <cstdint>

namespace brim::platform {

std::size_t PageSize();
// Reserved and committed read-write pages; null and the last error on failure.
void* PagesCommit(std::size_t bytes);
// Releases a block PagesCommit returned, with the size it was asked for.
bool PagesRelease(void* base, std::size_t bytes);

// The working set and the page-file usage (private commit) of this process
// in bytes; false when they cannot be read.
bool ProcessMemoryCounters(std::uint64_t* workingSet, std::uint64_t* pageFileUsage);

// GetLocalTime: the current local time to the millisecond.
void LocalTimeNow(SYSTEMTIME* time);
// SystemTimeToFileTime: 100-nanosecond intervals since 1601-01-01; false
// (last error 87) for a field out of range. The day of the week is ignored.
bool SystemTimeToFileTime64(const SYSTEMTIME& time, std::uint64_t* fileTime);

}  // namespace brim::platform
