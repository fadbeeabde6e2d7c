// String-table resources of the program and its extension libraries. One
// implementation per platform (resources_posix.cpp, resources_win32.cpp).
#pragma once

#include <brim/config.h>

#include <string>

namespace brim::platform {

// A string-table entry of the application, then of the extension libraries.
bool LoadStringResource(UINT id, std::wstring& text);

}  // namespace brim::platform
