// What the FTP and HTTP clients share: the block size, the no-connection
// failure, and the conversion of internet failures.
#pragma once

#include <brim/foundation.h>

namespace brim::detail {

constexpr UINT kTransferBlockSize = 4096;

// Throws the "no connection" CBrimException.
[[noreturn]] void ThrowNoConnection();
// Disposes of e and throws a CBrimException with its error code.
[[noreturn]] void ThrowInternetFailure(CInternetException* e);
// The default throttle: a 1 ms pause.
void PauseOneMillisecond();

// Closes and deletes a connection (or file), leaving the pointer null.
template <typename T>
void CloseAndRelease(T*& object) {
    if (object == nullptr) return;
    object->Close();
    delete object;
    object = nullptr;
}

}  // namespace brim::detail
