#include "framework/system/clock.h"

namespace brim::platform {

DWORD TickCount() { return ::GetTickCount(); }

}  // namespace brim::platform
