#include <brim/framework.h>

#include "framework/sync/mutex_platform.h"

struct CMutex::Impl {
    brim::platform::Mutex* mutex;
};

CMutex::CMutex(BOOL initiallyOwn, const wchar_t* name, LPSECURITY_ATTRIBUTES /*attributes*/)
    : m_pImpl(new Impl{brim::platform::MutexCreate(name)}) {
    if (initiallyOwn) Lock(INFINITE);
}

CMutex::~CMutex() {
    brim::platform::MutexDestroy(m_pImpl->mutex);
    delete m_pImpl;
}

BOOL CMutex::Lock(DWORD timeout) {
    using brim::platform::WaitResult;
    const WaitResult result = brim::platform::MutexLock(m_pImpl->mutex, timeout);
    return (result == WaitResult::Acquired || result == WaitResult::Abandoned) ? TRUE : FALSE;
}

BOOL CMutex::Unlock() { return brim::platform::MutexUnlock(m_pImpl->mutex) ? TRUE : FALSE; }
