#include "foundation/platform.h"

namespace brim::platform {

DWORD TickCount() { return ::GetTickCount(); }

}  // namespace brim::platform
