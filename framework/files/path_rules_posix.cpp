#include "framework/files/path_split.h"

namespace brim::platform {
wchar_t PathSeparator() { return L'/'; }
}  // namespace brim::platform
