#include "net/transfer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace brim::detail {

void ThrowNoConnection() { throw new CBrimException(L"Connection이 없습니다."); }

void ThrowInternetFailure(CInternetException* e) {
    const unsigned long code = e->m_dwError;
    e->Delete();
    throw new CBrimException(code);
}

UINT LocalBlocks::Read(BYTE* block, UINT count) {
    if (m_at == m_held) {
        m_at = 0;
        m_held = m_file.Read(m_buffer.data(), kAhead);
    }
    const UINT n = std::min(count, m_held - m_at);
    std::memcpy(block, m_buffer.data() + m_at, n);
    m_at += n;
    return n;
}

LocalBatch::~LocalBatch() {
    try {
        Flush();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

void LocalBatch::Commit(UINT count) {
    m_held += count;
    if (m_held + kTransferBlockSize > m_buffer.size()) Flush();
}

void LocalBatch::Flush() {
    if (m_held == 0) return;
    // Emptied first: a failed write is reported once, not again on the way out.
    const UINT count = static_cast<UINT>(m_held);
    m_held = 0;
    m_file.Write(m_buffer.data(), count);
}

void PauseOneMillisecond() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace brim::detail
