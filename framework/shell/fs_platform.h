// The file-system operations that differ between platforms, one
// implementation each (*_posix.cpp, *_win32.cpp).
#pragma once

#include <brim/config.h>

namespace brim::platform {

// Removes folder and everything in it; false with the last error set at the
// first failure.
bool DeleteFolderTree(const wchar_t* folder);

// Renames, giving the item a fresh name when the new one is taken.
void ShellRename(const wchar_t* oldName, const wchar_t* newName);

}  // namespace brim::platform
