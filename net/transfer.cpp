#include "net/transfer.h"

#include <chrono>
#include <thread>

namespace brim::detail {

void ThrowNoConnection() { throw new CBrimException(L"Connection이 없습니다."); }

void ThrowInternetFailure(CInternetException* e) {
    const unsigned long code = e->m_dwError;
    e->Delete();
    throw new CBrimException(code);
}

void PauseOneMillisecond() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace brim::detail
