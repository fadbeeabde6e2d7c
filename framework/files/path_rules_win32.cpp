#include "framework/files/path_split.h"

namespace brim::platform {
bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool HasDriveLetters() { return true; }
wchar_t PathSeparator() { return L'\\'; }
}  // namespace brim::platform
