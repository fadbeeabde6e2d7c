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

void PauseOneMillisecond() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace brim::detail
