// What the system and process queries ask of the platform.
#pragma once

#include <brim/config.h>

#include <string>
#include <vector>

namespace brim::platform {

// The drive roots in the platform's order; false when they cannot be listed.
bool DriveRoots(std::vector<std::wstring>& roots);
// The root of the drive holding the system folder; false (last error set)
// when it cannot be told.
bool SystemDriveRoot(std::wstring& root);
// ExpandEnvironmentStringsW: %NAME% replaced by the variable's value, left
// as written when it is not set. Returns the characters the expansion needs
// with its terminator (written only when they fit in size), 0 on failure.
DWORD ExpandEnvironment(const wchar_t* source, wchar_t* destination, DWORD size);
// A volume's serial number; false (last error set) for a root that is not there.
bool VolumeSerial(const wchar_t* root, DWORD* serial);
// The executable file names (without folder) of the running processes.
bool ProcessNames(std::vector<std::wstring>& names);
// The process's working set and private committed bytes.
bool MemoryCounters(ULONGLONG* workingSet, ULONGLONG* privateBytes);
// The user's default language identifier (GetUserDefaultLangID).
WORD UserDefaultLanguage();

}  // namespace brim::platform
