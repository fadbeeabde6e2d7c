// What the system and process queries ask of the platform.
#pragma once

#include <brim/config.h>

#include <cstddef>
#include <string>
#include <vector>

namespace brim::platform {

// A block this large or larger that is about to be filled whole (a decoded
// text, a file read into memory) is worth AdviseLargeBlock.
constexpr std::size_t kLargeBlock = std::size_t{4} << 20;
// A hint for such a freshly allocated block: on POSIX it is backed by huge
// pages where the system offers them, so that filling it takes a page fault
// per 2 MiB instead of per 4 KiB. Nothing on Windows. Never fails.
void AdviseLargeBlock(void* block, std::size_t bytes);

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
