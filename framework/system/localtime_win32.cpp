#include "framework/system/clock.h"

namespace brim::platform {

bool LocalTime(long long seconds, std::tm& out) {
    const __time64_t t = static_cast<__time64_t>(seconds);
    if (_localtime64_s(&out, &t) == 0) return true;
    out = std::tm{};
    return false;
}

}  // namespace brim::platform
