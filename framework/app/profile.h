// Profile (INI) files, with the Win32 private-profile semantics: names of
// sections and entries compare without regard to case; a missing entry
// gives the default.
#pragma once

#include <brim/config.h>

#include <string>

namespace brim::platform {

std::wstring ProfileGetString(const wchar_t* file, const wchar_t* section, const wchar_t* entry,
                              const wchar_t* defaultValue);
// The entry's leading decimal integer (0 when it has none); the default when
// the entry is missing or empty.
UINT ProfileGetInt(const wchar_t* file, const wchar_t* section, const wchar_t* entry, int defaultValue);
// entry null removes the section, value null the entry.
bool ProfileWriteString(const wchar_t* file, const wchar_t* section, const wchar_t* entry, const wchar_t* value);

}  // namespace brim::platform
