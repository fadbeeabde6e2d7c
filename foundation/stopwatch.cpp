#include <brim/foundation.h>

#include "framework/system/host_platform.h"

#include <cstdint>

namespace {
// An unset or invalid mark counts as the epoch itself.
std::int64_t FileTimeOf(const SYSTEMTIME& mark) {
    std::uint64_t value = 0;
    if (!brim::platform::SystemTimeToFileTime64(mark, &value)) return 0;
    return static_cast<std::int64_t>(value);
}
}  // namespace

CBrimTime::CBrimTime() : m_tmBefore(), m_tmAfter() {}

void CBrimTime::Before() { brim::platform::LocalTimeNow(&m_tmBefore); }

void CBrimTime::After() { brim::platform::LocalTimeNow(&m_tmAfter); }

const CStringW CBrimTime::GetTimeString() {
    const std::int64_t milliseconds = (FileTimeOf(m_tmAfter) - FileTimeOf(m_tmBefore)) / 10000;
    // Single precision on purpose: the text shows its rounding past ~4.66 hours.
    const float seconds = static_cast<float>(milliseconds) / 1000.0f;
    CStringW text;
    text.Format(L"%.4f", static_cast<double>(seconds));
    return text;
}
