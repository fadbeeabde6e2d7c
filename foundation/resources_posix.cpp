#include "foundation/platform.h"

namespace brim::platform {

// String tables reach POSIX hosts through the embedding macros of the
// resources header; until one is registered there is nothing to find.
bool LoadStringResource(UINT /*id*/, std::wstring& /*text*/) { return false; }

}  // namespace brim::platform
