// What the FTP and HTTP clients share: the block size, the no-connection
// failure, and the conversion of internet failures.
#pragma once

#include <brim/foundation.h>
#include <brim/framework.h>

#include <vector>

namespace brim::detail {

constexpr UINT kTransferBlockSize = 4096;

// Throws the "no connection" CBrimException.
[[noreturn]] void ThrowNoConnection();
// Disposes of e and throws a CBrimException with its error code.
[[noreturn]] void ThrowInternetFailure(CInternetException* e);
// The default throttle: a 1 ms pause.
void PauseOneMillisecond();

// Hands out a local file in blocks, reading it 64 KiB at a time: a system
// call per block costs an upload more than the copy. Read failures surface
// at the read that meets them, up to 15 blocks before their own.
class LocalBlocks {
public:
    explicit LocalBlocks(CFile& file) : m_file(file), m_buffer(kAhead) {}
    LocalBlocks(const LocalBlocks&) = delete;
    LocalBlocks& operator=(const LocalBlocks&) = delete;
    // Up to count bytes (count <= kTransferBlockSize); 0 at the end.
    UINT Read(BYTE* block, UINT count);

private:
    static constexpr UINT kAhead = 16 * kTransferBlockSize;
    CFile& m_file;
    std::vector<BYTE> m_buffer;   // on the heap: hosts' threads may have small stacks
    UINT m_at = 0;
    UINT m_held = 0;
};

// Closes and deletes a connection (or file), leaving the pointer null.
template <typename T>
void CloseAndRelease(T*& object) {
    if (object == nullptr) return;
    object->Close();
    delete object;
    object = nullptr;
}

}  // namespace brim::detail
