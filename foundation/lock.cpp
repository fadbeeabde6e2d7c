#include <brim/foundation.h>

CBrimLock::CBrimLock(CRITICAL_SECTION& section) : m_pSection(&section) { EnterCriticalSection(m_pSection); }

CBrimLock::~CBrimLock() { LeaveCriticalSection(m_pSection); }

void CBrimLock::Lock() { EnterCriticalSection(m_pSection); }

void CBrimLock::Unlock() { LeaveCriticalSection(m_pSection); }

// ---------------------------------------------------------------------------
CBrimObject::CBrimObject() : m_dwData(0) {}

CBrimObject::CBrimObject(const CBrimObject& other) : m_dwData(other.m_dwData) {}

CBrimObject& CBrimObject::operator=(const CBrimObject& other) {
    m_dwData = other.m_dwData;
    return *this;
}

CBrimObject::~CBrimObject() = default;
