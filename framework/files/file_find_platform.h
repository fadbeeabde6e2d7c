// File enumeration for CFileFind, one implementation per platform
// (file_find_posix.cpp, file_find_win32.cpp).
#pragma once

#include <brim/framework.h>

#include "framework/files/path_split.h"   // PathSeparator

#include <cstdint>
#include <string>

namespace brim::platform {

struct FindHandle;

// Starts enumerating the entries that match pattern (a folder, a separator,
// a wildcard) and sets root to the folder made absolute. Null with the last
// error set when the folder cannot be read or nothing matches.
FindHandle* FindOpen(const wchar_t* pattern, std::wstring& root);
// The next matching entry; false at the end (last error 18) or on failure.
bool FindNextEntry(FindHandle* handle, CStringW& name, DWORD& attributes);
void FindClose(FindHandle* handle);

// What makes a folder the same folder whatever path leads to it, links
// followed: its volume and its index there.
struct FolderId {
    std::uint64_t volume;
    std::uint64_t index;
    bool operator==(const FolderId& other) const { return volume == other.volume && index == other.index; }
};
bool FolderIdentity(const wchar_t* folder, FolderId& id);

}  // namespace brim::platform
