// Files as the POSIX system takes them: paths as bytes, mappings guarded
// against a file cut short while it is read.
#include "tools/brim/file_mapping.h"
#include "tools/brim/name_bytes_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iterator>
#include <system_error>
#include <thread>
#include <vector>

namespace brimtool {

// The path's bytes, those of a name that is not UTF-8 included.
std::string NativePath(const CStringW& path) { return BytesOfText(path.GetString(), static_cast<std::size_t>(path.GetLength())); }

// A thread that fills a large mapping's page tables ahead of its reader, a
// few MiB at a time from the front. Filling them is a kernel's walk over the
// page cache that takes as long as the reading itself (for a 256 MiB file
// here, 15 ms against 13); beside the reader it costs the reader little, and
// most pages are mapped by the time the reader comes to them. Stopped
// before the mapping goes.
struct FileMapping::Ahead {
    static constexpr std::size_t kChunk = std::size_t{4} << 20;
    std::atomic<bool> stop{false};
    std::thread thread;

    Ahead(unsigned char* data, std::size_t size) {
        thread = std::thread([this, data, size] {
#ifdef MADV_POPULATE_READ
            for (std::size_t at = 0; at < size && !stop.load(std::memory_order_relaxed); at += kChunk) {
                // A kernel without the call: the reader's own faults fill them.
                if (madvise(data + at, std::min(kChunk, size - at), MADV_POPULATE_READ) != 0) return;
            }
#else
            (void)data;
            (void)size;
#endif
        });
    }
    ~Ahead() {
        stop = true;
        thread.join();
    }
};

namespace {
// From this size on the pages are mapped ahead by a thread; below it, all at
// once by the mapping call (one call that fills the page tables beats a
// fault per page, and a thread is not worth its start).
constexpr std::size_t kMappedAhead = std::size_t{16} << 20;

// The mappings being read, for the bus-error handler. When another process
// cuts a mapped file short, reading a page past its new end raises SIGBUS,
// which would end brim. The handler maps zeros over the rest of such a
// mapping instead and marks it cut: the reader runs on to its end, and the
// command reports the cut rather than what it read. A fault anywhere else
// gets the action it had before.
struct Guarded {
    std::atomic<bool> taken{false};
    std::atomic<std::uintptr_t> begin{0}, end{0};
    std::atomic<bool> cut{false};
};
Guarded g_guarded[4];
struct sigaction g_busBefore;
std::uintptr_t g_pageSize = 4096;

void OnBusError(int, siginfo_t* info, void*) {
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (Guarded& g : g_guarded) {
        const std::uintptr_t end = g.end.load(), begin = g.begin.load();
        if (at < begin || at >= end) continue;
        const std::uintptr_t page = at & ~(g_pageSize - 1);
        if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
            MAP_FAILED) {
            break;
        }
        g.cut = true;
        return;
    }
    sigaction(SIGBUS, &g_busBefore, nullptr);   // the fault comes again, to the handler it had
}

bool InstallBusHandler() {
    g_pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, &g_busBefore) == 0;
}

// A slot for a mapping, or -1 (then it is read unguarded, as before).
int Guard(const unsigned char* data, std::size_t size) {
    static const bool installed = InstallBusHandler();
    if (!installed) return -1;
    for (int k = 0; k < static_cast<int>(std::size(g_guarded)); ++k) {
        Guarded& g = g_guarded[k];
        if (g.taken.exchange(true)) continue;
        g.cut = false;
        g.begin = reinterpret_cast<std::uintptr_t>(data);
        g.end = reinterpret_cast<std::uintptr_t>(data) + size;
        return k;
    }
    return -1;
}

void Unguard(int k) {
    if (k < 0) return;
    g_guarded[k].end = 0;   // first: a slot with no end matches no address
    g_guarded[k].begin = 0;
    g_guarded[k].taken = false;
}
}  // namespace

FileMapping::FileMapping(const CStringW& path, std::size_t size) {
    const int fd = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return;
    const bool ahead = size >= kMappedAhead;
    void* data = mmap(nullptr, size, PROT_READ, ahead ? MAP_PRIVATE : MAP_PRIVATE | MAP_POPULATE, fd, 0);
    close(fd);
    if (data == MAP_FAILED) return;
    m_data = static_cast<const unsigned char*>(data);
    m_size = size;
    m_guard = Guard(m_data, m_size);
    if (!ahead) return;
    try {
        m_ahead = std::make_unique<Ahead>(static_cast<unsigned char*>(data), size);
    } catch (const std::system_error&) {   // no thread: the reader's faults map the pages
    }
}

FileMapping::~FileMapping() {
    m_ahead.reset();   // the thread stops before its pages go
    Unguard(m_guard);
    if (m_data != nullptr) munmap(const_cast<unsigned char*>(m_data), m_size);
}

bool FileMapping::Cut() const { return m_guard >= 0 && g_guarded[m_guard].cut.load(); }

}  // namespace brimtool
