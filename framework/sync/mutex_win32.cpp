#include "framework/sync/mutex_platform.h"

namespace brim::platform {

struct Mutex {
    HANDLE handle;
    DWORD createError;
};

Mutex* MutexCreate(const wchar_t* name) {
    HANDLE handle = ::CreateMutexW(nullptr, FALSE, (name != nullptr && *name != 0) ? name : nullptr);
    return new Mutex{handle, handle == nullptr ? ::GetLastError() : 0};
}

WaitResult MutexLock(Mutex* mutex, DWORD timeoutMs) {
    if (mutex->handle == nullptr) {
        ::SetLastError(mutex->createError);
        return WaitResult::Failed;
    }
    switch (::WaitForSingleObject(mutex->handle, timeoutMs)) {
    case WAIT_OBJECT_0: return WaitResult::Acquired;
    case WAIT_ABANDONED: return WaitResult::Abandoned;
    case WAIT_TIMEOUT: return WaitResult::TimedOut;
    default: return WaitResult::Failed;
    }
}

bool MutexUnlock(Mutex* mutex) { return mutex->handle != nullptr && ::ReleaseMutex(mutex->handle) != FALSE; }

void MutexDestroy(Mutex* mutex) {
    if (mutex->handle != nullptr) ::CloseHandle(mutex->handle);
    delete mutex;
}

}  // namespace brim::platform
