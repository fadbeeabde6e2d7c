#include <brim/foundation.h>

#include "framework/errors/error_codes.h"
#include "framework/system/host_platform.h"

#include <atomic>
#include <cstdio>

namespace brim::detail {

// The block copies of a pool share: released once, by whichever copy asks
// first, and freed with the last copy that refers to it.
struct PoolBlock {
    void* base;
    std::size_t bytes;
    std::atomic<bool> released;
    std::atomic<long> refs;
};

}  // namespace brim::detail

using brim::detail::PoolBlock;

namespace {
constexpr std::uint64_t kMaxBlockBytes = 0xFFFFFFFFull;   // the size is a 32-bit quantity
}

CBrimMemPool::CBrimMemPool(long pages) : m_pBase(nullptr), m_pBlock(nullptr) { _Create(pages); }

CBrimMemPool::CBrimMemPool(const CBrimMemPool& other) : m_pBase(other.m_pBase), m_pBlock(nullptr) {
    _Share(other.m_pBlock);
}

CBrimMemPool& CBrimMemPool::operator=(const CBrimMemPool& other) {
    if (this != &other) {
        PoolBlock* block = other.m_pBlock;
        m_pBase = other.m_pBase;
        _Share(block);
    }
    return *this;
}

// The memory itself stays: only Destroy() releases it.
CBrimMemPool::~CBrimMemPool() { _Share(nullptr); }

bool CBrimMemPool::_Create(long pages) {
    const std::size_t pageSize = brim::platform::PageSize();
    _Dump("current mem ==> ");
    _Release();
    _Share(nullptr);
    m_pBase = nullptr;
    if (pages <= 0 || static_cast<std::uint64_t>(pages) * pageSize > kMaxBlockBytes) {
        SetLastError(brim::err::kInvalidParameter);
    } else {
        const std::size_t bytes = static_cast<std::size_t>(pages) * pageSize;
        m_pBase = brim::platform::PagesCommit(bytes);
        if (m_pBase != nullptr) m_pBlock = new PoolBlock{m_pBase, bytes, false, {1}};
    }
    const DWORD error = GetLastError();   // the caller checks m_pBase, then this
    _Dump("reserved mem ==> ");
    SetLastError(error);
    return true;
}

void CBrimMemPool::Destroy() {
    _Release();
    m_pBase = nullptr;
    _Dump("current mem ==> ");
}

void CBrimMemPool::_Release() {
    if (m_pBlock == nullptr || m_pBlock->released.exchange(true)) return;
    brim::platform::PagesRelease(m_pBlock->base, m_pBlock->bytes);
}

void CBrimMemPool::_Share(PoolBlock* block) {
    if (block != nullptr) block->refs.fetch_add(1);
    if (m_pBlock != nullptr && m_pBlock->refs.fetch_sub(1) == 1) delete m_pBlock;
    m_pBlock = block;
}

void CBrimMemPool::_Dump(const char* label) {
    std::uint64_t workingSet = 0, pageFile = 0;
    if (!brim::platform::ProcessMemoryCounters(&workingSet, &pageFile)) workingSet = pageFile = 0;
    std::printf("%s", label);
    std::printf("\tWorking %7ld Kbytes, PageFileUsage %10ld Kbytes\n", static_cast<long>(workingSet / 1024),
                static_cast<long>(pageFile / 1024));
}
