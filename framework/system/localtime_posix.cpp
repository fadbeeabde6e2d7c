#include "framework/system/clock.h"

namespace brim::platform {

bool LocalTime(long long seconds, std::tm& out) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    if (localtime_r(&t, &out) != nullptr) return true;
    out = std::tm{};
    return false;
}

}  // namespace brim::platform
