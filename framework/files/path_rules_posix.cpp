#include "framework/files/path_split.h"

namespace brim::platform {
// A backslash is an ordinary character of a POSIX file name.
bool IsPathSeparator(wchar_t c) { return c == L'/'; }
bool HasDriveLetters() { return false; }
wchar_t PathSeparator() { return L'/'; }
}  // namespace brim::platform
