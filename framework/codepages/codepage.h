// The platform layer: the few services that differ between Windows and
// POSIX. Every function has one implementation per platform (*_win32.cpp,
// *_posix.cpp); the rest of the library calls only these. Failures set the
// thread's last error to a Windows code.
#pragma once

#include <brim/config.h>

#include <cstddef>
#include <ctime>
#include <string>

namespace brim::platform {

// ---- Code pages -----------------------------------------------------------
constexpr unsigned kCodePageAnsi = 0;      // the system's ANSI code page
constexpr unsigned kCodePageUtf8 = 65001;

// The ANSI code page in use (the value GetACP gives on Windows).
unsigned AnsiCodePage();

// MultiByteToWideChar / WideCharToMultiByte with flags 0 and no default
// character: unconvertible input is substituted, never refused. srcLength -1
// means "terminated" and the count includes the terminator. A capacity of 0
// asks for the size only. 0 on failure, with the last error set (122 when the
// capacity is too small, 87 for bad arguments).
int MultiByteToWide(unsigned codePage, const char* src, int srcLength, wchar_t* dst, int dstCapacity);
int WideToMultiByte(unsigned codePage, const wchar_t* src, int srcLength, char* dst, int dstCapacity);

// ---- Files ----------------------------------------------------------------
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

// ---- Named mutex ------------------------------------------------------------
struct Mutex;
enum class WaitResult { Acquired, Abandoned, TimedOut, Failed };

// name null: private to this process. Never null; a mutex whose system
// object could not be made fails every Lock with the saved error.
Mutex* MutexCreate(const wchar_t* name);
WaitResult MutexLock(Mutex* mutex, DWORD timeoutMs);
bool MutexUnlock(Mutex* mutex);   // false, last error 288, if not the owner
void MutexDestroy(Mutex* mutex);

// ---- Message tables -------------------------------------------------------
enum class MessageSource { System, Internet, NetworkManagement, MessageQueuing };

// The text of code in the given table, exactly as the table holds it; false
// when the table is not available in this process or lacks the code.
bool FormatMessageText(MessageSource source, DWORD code, std::wstring& text);

// Loads the internet layer (on Windows, wininet.dll), which makes its message
// table available. The network classes call it before their first use.
void LoadInternetLayer();

// ---- String resources -------------------------------------------------------
// A string-table entry of the application, then of the extension libraries.
bool LoadStringResource(UINT id, std::wstring& text);

}  // namespace brim::platform

namespace brim::platform {
// The default message box of the platform (no host handler installed).
int ShowMessageBox(const wchar_t* text, UINT type);
}  // namespace brim::platform

namespace brim::platform {
// ---- Clock and folders ------------------------------------------------------
// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
DWORD TickCount();
// One folder with default security (CreateDirectoryW); its parent must exist.
// False with the last error set on failure.
bool FolderCreate(const wchar_t* name);
// Seconds since the epoch as local time; false (and zeros) when out of range.
bool LocalTime(long long seconds, std::tm& out);
}  // namespace brim::platform
