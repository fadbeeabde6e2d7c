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

// Gathers a download's blocks for a local file and writes them 256 KiB at a
// time: a system call per 4096-byte block costs a fast download more than the
// copy. A block is read straight into the batch (Next, then Commit with its
// size). A write failure is thrown (CFileException, as CFile::Write throws
// it) by the Commit that fills the batch or by Flush, so at the latest when
// the transfer finishes, before the file is closed. A file that is not open
// gets each block straight away, so that it fails at the first block as before.
class LocalBatch {
public:
    explicit LocalBatch(CFile& file)
        : m_file(file), m_buffer(file.IsOpen() ? kBatch : kTransferBlockSize) {}
    // On the way out of a failed transfer (a hook or the network threw), what
    // is held is still written, as it would have been block by block; a
    // failure of that write gives way to the exception under way.
    ~LocalBatch();
    LocalBatch(const LocalBatch&) = delete;
    LocalBatch& operator=(const LocalBatch&) = delete;
    // Room for one block of kTransferBlockSize bytes.
    BYTE* Next() { return m_buffer.data() + m_held; }
    void Commit(UINT count);
    void Flush();

private:
    static constexpr std::size_t kBatch = 64 * kTransferBlockSize;
    CFile& m_file;
    std::vector<BYTE> m_buffer;   // on the heap: hosts' threads may have small stacks
    std::size_t m_held = 0;
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
