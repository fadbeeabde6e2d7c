#include "framework/system/clock.h"

#include <time.h>

namespace brim::platform {

DWORD TickCount() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<unsigned long long>(now.tv_sec) * 1000ull + static_cast<unsigned long long>(now.tv_nsec) / 1000000ull;
    return static_cast<DWORD>(ms);   // wraps like the Windows counter
}

}  // namespace brim::platform
