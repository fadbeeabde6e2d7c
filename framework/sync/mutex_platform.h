// The named mutex of the platform (CreateMutexW's object on Windows, a
// robust shared mutex in a mapped file on POSIX). One implementation per
// platform (mutex_posix.cpp, mutex_win32.cpp).
#pragma once

#include <brim/config.h>

namespace brim::platform {

struct Mutex;
enum class WaitResult { Acquired, Abandoned, TimedOut, Failed };

// name null: private to this process. Never null; a mutex whose system
// object could not be made fails every Lock with the saved error.
Mutex* MutexCreate(const wchar_t* name);
WaitResult MutexLock(Mutex* mutex, DWORD timeoutMs);
bool MutexUnlock(Mutex* mutex);   // false, last error 288, if not the owner
void MutexDestroy(Mutex* mutex);

}  // namespace brim::platform
