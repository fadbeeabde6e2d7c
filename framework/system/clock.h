// The platform's clocks. One implementation per platform (clock_*.cpp,
// localtime_*.cpp).
#pragma once

#include <brim/config.h>

#include <ctime>

namespace brim::platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
DWORD TickCount();
// Seconds since the epoch as local time; false (and zeros) when out of range.
bool LocalTime(long long seconds, std::tm& out);

}  // namespace brim::platform
