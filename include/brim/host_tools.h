// BrimCommon host tools: a critical-section guard, an abstract object base,
// a page-backed memory block and a millisecond stopwatch.
#pragma once

#include <brim/framework.h>

// Enters the caller's critical section for the guard's lifetime. The guard
// keeps no count: the destructor leaves once, so after an Unlock() the holder
// calls Lock() again before the guard goes away. The section is the caller's;
// the guard neither initialises nor deletes it.
class BRIM_API CBrimLock {
public:
    explicit CBrimLock(CRITICAL_SECTION& section);
    virtual ~CBrimLock();

    void Lock();
    void Unlock();

    // A copy would leave the section once more than it entered it.
    CBrimLock(const CBrimLock&) = delete;
    CBrimLock& operator=(const CBrimLock&) = delete;

private:
    CRITICAL_SECTION* m_pSection;
};

// An abstract base for host objects: one operation the host supplies and one
// data word for the derived class. The library never calls vExecute nor reads
// the word; a new object's word is 0.
class BRIM_API CBrimObject {
public:
    CBrimObject();
    CBrimObject(const CBrimObject& other);
    CBrimObject& operator=(const CBrimObject& other);
    virtual ~CBrimObject();

    virtual void vExecute() = 0;

    DWORD m_dwData;
};

namespace brim::detail {
struct PoolBlock;
}

// One block of committed read-write memory of whole pages for a derived class,
// with the process's memory figures printed before and after each reservation
// and after each release:
//   <label>\tWorking %7ld Kbytes, PageFileUsage %10ld Kbytes
//
// Sizes: pages must be at least 1 and pages times the page size below 4 GiB
// (the size is a 32-bit quantity); other requests are refused like a
// reservation the system refuses: m_pBase is null, last error 87, and both
// lines are still printed.
//
// A block is released at most once. Copies share the block and its release:
// after Destroy() on one copy, Destroy() on any copy does nothing, even if the
// address has since been handed to another reservation. Destroy() and a
// repeated _Create() set m_pBase to null and release the block held; the
// destructor releases nothing (a block never destroyed lives until the
// process ends).
class BRIM_API CBrimMemPool {
public:
    explicit CBrimMemPool(long pages = 262144);
    CBrimMemPool(const CBrimMemPool& other);
    CBrimMemPool& operator=(const CBrimMemPool& other);
    virtual ~CBrimMemPool();

    void Destroy();

protected:
    bool _Create(long pages);   // always true; check m_pBase
    void _Dump(const char* label);

    void* m_pBase;

private:
    void _Release();
    void _Share(brim::detail::PoolBlock* block);
    brim::detail::PoolBlock* m_pBlock;
};

// Wall-clock time between two marks in local time, to the millisecond, as
// seconds with four decimals ("1.2340"). The marks follow clock changes: a
// clock set back between them gives a negative result. Unset marks are zero
// and count as the start of the file-time epoch.
class BRIM_API CBrimTime {
public:
    CBrimTime();

    void Before();
    void After();
    const CStringW GetTimeString();

protected:
    SYSTEMTIME m_tmBefore;
    SYSTEMTIME m_tmAfter;
};
