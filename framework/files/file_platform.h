// Files on the platform: CFile's open flags and share modes on a native
// handle, and folder creation. One implementation per platform
// (file_posix.cpp, file_win32.cpp); failures set the thread's last error.
#pragma once

#include <brim/config.h>

namespace brim::platform {

// CFile's open flags (share modes included) on a native handle. Failure:
// INVALID_HANDLE_VALUE and the last error.
HANDLE FileOpen(const wchar_t* name, UINT openFlags);
bool FileRead(HANDLE file, void* buffer, UINT count, UINT* done);
bool FileWrite(HANDLE file, const void* buffer, UINT count);
bool FileSeek(HANDLE file, LONGLONG offset, UINT from, ULONGLONG* position);
bool FileLength(HANDLE file, ULONGLONG* length);
bool FileSetLength(HANDLE file, ULONGLONG length);
bool FileFlush(HANDLE file);
bool FileClose(HANDLE file);
bool FileRemove(const wchar_t* name);
bool FileRename(const wchar_t* oldName, const wchar_t* newName);

// One folder with default security (CreateDirectoryW); its parent must exist.
// False with the last error set on failure.
bool FolderCreate(const wchar_t* name);

}  // namespace brim::platform
