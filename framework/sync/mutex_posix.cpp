// Mutexes on POSIX.
//
// A named mutex is a robust, process-shared, recursive pthread mutex in a
// file of the user's private runtime folder ($XDG_RUNTIME_DIR/brim, else
// /tmp/brim-<uid>, 0700 and owned by the user), mapped by every process that
// opens the name. Taking and leaving it free costs no system call; a waiter
// sleeps in the kernel. When a thread or a process ends holding it (a kill
// included), the kernel marks it and the next waiter takes it over: the wait
// reports it abandoned, as Windows does, and CMutex::Lock succeeds in both
// cases. The file's name carries the width of the mutex, so builds with
// different layouts never share one. The file's blocks are reserved before
// it is mapped: on a full file system the open fails (112) instead of the
// first touch of the page killing the process with SIGBUS.
//
// An unnamed mutex is private to its process: an owner, a depth and a
// condition variable. A thread that ends owning one abandons it to the next
// waiter, as on Windows.

#include "framework/sync/mutex_platform.h"

#include "framework/errors/errno_posix.h"
#include "framework/errors/error_codes.h"
#include "framework/codepages/text_codec.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brim::platform {

// The mapped file holds the mutex. Byte 0 of the file carries the lock that
// guards initialisation; byte 1 a shared lock of every process that maps
// it, kept until the process ends. The kernel drops both with their holder,
// so an opener that finds no other user starts the mutex afresh, whatever a
// process that died (or a machine that went down) left in the file.
struct SharedBlock {
    pthread_mutex_t mutex;
};
constexpr off_t kInitByte = 0;
constexpr off_t kUsersByte = 1;

struct NamedMutex {
    std::string path;                 // the mapped file; empty when openError is set
    DWORD openError = 0;
    std::mutex mapLock;
    std::atomic<SharedBlock*> block{nullptr};   // null until mapped
};

struct PrivateMutex {
    std::mutex lock;
    std::condition_variable freed;
    std::thread::id owner;            // default: nobody
    unsigned depth = 0;
    bool abandoned = false;           // the last owner thread ended holding it
    int users = 0;                    // CMutex objects referring to it
    bool orphan = false;              // its last object gone while owned
};

struct Mutex {
    NamedMutex* named = nullptr;
    PrivateMutex* priv = nullptr;
};

namespace {

std::mutex g_registryLock;
std::map<std::string, NamedMutex*>& Registry() {
    static auto* registry = new std::map<std::string, NamedMutex*>();   // lives until exit
    return *registry;
}

// --- the folder and the file ---------------------------------------------------

bool UsableFolder(const std::string& dir) {
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

std::string LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir;
    if (runtime != nullptr && runtime[0] == '/') {
        struct stat st;
        if (stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid()) dir = std::string(runtime) + "/brim";
    }
    if (dir.empty()) dir = "/tmp/brim-" + std::to_string(geteuid());
    mkdir(dir.c_str(), 0700);
    return UsableFolder(dir) ? dir : std::string();
}

// Names become file names: letters, digits and ._- stay, other bytes of the
// UTF-8 form become %XX. "Local\" names the same object as no prefix.
std::string FileNameFor(const wchar_t* name) {
    std::wstring wide(name);
    if (wide.rfind(L"Local\\", 0) == 0) wide.erase(0, 6);
    const std::string utf8 = detail::WideToUtf8(wide.data(), wide.size());
    std::string out;
    for (unsigned char c : utf8) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-') {
            out.push_back(static_cast<char>(c));
        } else {
            static const char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out + ".mutex" + std::to_string(sizeof(SharedBlock));
}

bool ByteLock(int fd, off_t byte, short type, int command) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = byte;
    fl.l_len = 1;
    while (fcntl(fd, command, &fl) != 0) {
        if (errno != EINTR) return false;
    }
    return command != F_OFD_GETLK || fl.l_type == F_UNLCK;   // GETLK: true when nobody holds it
}

void InitMutex(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

// Maps the file and joins its users, starting the mutex when there are none;
// null (and error set) on failure. The descriptor stays open (closed on
// exec) to keep this process a user.
SharedBlock* MapBlock(const std::string& path, DWORD& error) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = ErrnoToWin32(errno);
        return nullptr;
    }
    void* mapping = MAP_FAILED;
    int failure = 0;
    if (ByteLock(fd, kInitByte, F_WRLCK, F_OFD_SETLKW)) {
        const bool alone = ByteLock(fd, kUsersByte, F_WRLCK, F_OFD_GETLK);
        // posix_fallocate also sets the size; it reports its error rather than setting errno.
        const int reserved = posix_fallocate(fd, 0, static_cast<off_t>(sizeof(SharedBlock)));
        if (reserved != 0) {
            errno = reserved;
        } else if (ByteLock(fd, kUsersByte, F_RDLCK, F_OFD_SETLK)) {
            mapping = mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        }
        failure = errno;
        if (mapping != MAP_FAILED && alone) InitMutex(&static_cast<SharedBlock*>(mapping)->mutex);
        ByteLock(fd, kInitByte, F_UNLCK, F_OFD_SETLK);
    } else {
        failure = errno;
    }
    if (mapping == MAP_FAILED) {
        error = ErrnoToWin32(failure);
        close(fd);
        return nullptr;
    }
    return static_cast<SharedBlock*>(mapping);
}

// The mapped mutex; a failed mapping (descriptors running out, say) is tried
// again at the next use.
SharedBlock* BlockOf(NamedMutex* m) {
    if (m->openError != 0) {
        SetLastError(m->openError);
        return nullptr;
    }
    if (SharedBlock* block = m->block.load(std::memory_order_acquire)) return block;
    std::lock_guard<std::mutex> guard(m->mapLock);
    SharedBlock* block = m->block.load(std::memory_order_relaxed);
    if (block == nullptr) {
        DWORD error = 0;
        block = MapBlock(m->path, error);
        if (block == nullptr) {
            SetLastError(error);
            return nullptr;
        }
        m->block.store(block, std::memory_order_release);
    }
    return block;
}

// How deep this thread holds each named mutex. The pthread mutex counts too,
// but asking it to unlock for a thread that does not own it is an error
// that sanitizers report, and a forked child must start owning nothing.
struct NamedDepths {
    std::vector<std::pair<NamedMutex*, unsigned>> entries;
    unsigned& Of(NamedMutex* m) {
        for (auto& e : entries) {
            if (e.first == m) return e.second;
        }
        entries.emplace_back(m, 0u);
        return entries.back().second;
    }
};
thread_local NamedDepths t_depths;

void ForgetDepthsInChild() { t_depths.entries.clear(); }

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer counts a timed lock as taken only when it returns 0; a
// takeover from a dead owner is a lock too, so say so.
void NoteTimedTakeover(pthread_mutex_t* mutex) {
    __tsan_mutex_pre_lock(mutex, __tsan_mutex_try_lock);
    __tsan_mutex_post_lock(mutex, __tsan_mutex_try_lock, 0);
}
#else
void NoteTimedTakeover(pthread_mutex_t*) {}
#endif

// A lock call's result: true when this thread holds the mutex. An owner
// that died leaves the mutex to this thread, which makes it usable again and
// notes the takeover in abandoned.
bool Taken(int r, pthread_mutex_t* mutex, bool& abandoned) {
    if (r == EOWNERDEAD) {
        pthread_mutex_consistent(mutex);
        abandoned = true;
        return true;
    }
    if (r != 0 && r != EBUSY) SetLastErrorFromErrno(r);
    return r == 0;
}

WaitResult LockNamed(NamedMutex* m, DWORD timeoutMs) {
    SharedBlock* block = BlockOf(m);
    if (block == nullptr) return WaitResult::Failed;
    pthread_mutex_t* mutex = &block->mutex;
    unsigned& depth = t_depths.Of(m);
    bool abandoned = false;
    if (timeoutMs == INFINITE) {
        // Waited in slices: a holder killed after freeing the mutex but before
        // waking its waiters leaves them asleep on a free mutex (seen under
        // kill -9 stress); each slice looks again. The slices are on the
        // wall clock (timedlock, which sanitizers follow, unlike clocklock): a
        // clock step only makes one slice shorter or longer.
        int r;
        for (;;) {
            timespec until{};
            clock_gettime(CLOCK_REALTIME, &until);
            until.tv_sec += 1;
            r = pthread_mutex_timedlock(mutex, &until);
            if (r != ETIMEDOUT) break;
        }
        if (r == EOWNERDEAD) NoteTimedTakeover(mutex);
        if (!Taken(r, mutex, abandoned)) return WaitResult::Failed;
    } else {
        // Polled, so that the wait follows the steady clock.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        auto pause = std::chrono::microseconds(100);
        for (;;) {
            const int r = pthread_mutex_trylock(mutex);
            if (Taken(r, mutex, abandoned)) break;
            if (r != EBUSY) return WaitResult::Failed;
            if (std::chrono::steady_clock::now() >= deadline) return WaitResult::TimedOut;
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(10000));
        }
    }
    ++depth;
    return abandoned ? WaitResult::Abandoned : WaitResult::Acquired;
}

bool UnlockNamed(NamedMutex* m) {
    unsigned& depth = t_depths.Of(m);
    if (depth == 0) {
        SetLastError(err::kNotOwner);
        return false;
    }
    SharedBlock* block = BlockOf(m);   // mapped: this thread holds it
    pthread_mutex_unlock(&block->mutex);
    --depth;
    return true;
}

void InstallForkHandler() {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(nullptr, nullptr, ForgetDepthsInChild); });
}

// --- private mutexes -----------------------------------------------------------

void ReleaseOnThreadExit(PrivateMutex* m);

struct OwnedByThread {
    std::vector<PrivateMutex*> mutexes;
    ~OwnedByThread() {
        for (PrivateMutex* m : mutexes) ReleaseOnThreadExit(m);
    }
};
thread_local OwnedByThread t_owned;

void Forget(PrivateMutex* m) {
    auto& v = t_owned.mutexes;
    v.erase(std::remove(v.begin(), v.end(), m), v.end());
}

void ReleaseOnThreadExit(PrivateMutex* m) {
    bool remove = false;
    {
        std::lock_guard<std::mutex> guard(m->lock);
        if (m->owner != std::this_thread::get_id()) return;
        m->depth = 0;
        m->owner = std::thread::id();
        m->abandoned = true;
        remove = m->orphan;
        m->freed.notify_one();
    }
    if (remove) delete m;
}

WaitResult LockPrivate(PrivateMutex* m, DWORD timeoutMs) {
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> lk(m->lock);
    if (m->owner == me) {
        ++m->depth;
        return WaitResult::Acquired;
    }
    const auto nobody = [m] { return m->owner == std::thread::id(); };
    if (timeoutMs == INFINITE) {
        m->freed.wait(lk, nobody);
    } else if (!m->freed.wait_for(lk, std::chrono::milliseconds(timeoutMs), nobody)) {
        return WaitResult::TimedOut;
    }
    m->owner = me;
    m->depth = 1;
    t_owned.mutexes.push_back(m);
    if (m->abandoned) {
        m->abandoned = false;
        return WaitResult::Abandoned;
    }
    return WaitResult::Acquired;
}

bool UnlockPrivate(PrivateMutex* m) {
    std::lock_guard<std::mutex> guard(m->lock);
    if (m->owner != std::this_thread::get_id()) {
        SetLastError(err::kNotOwner);
        return false;
    }
    if (--m->depth > 0) return true;
    m->owner = std::thread::id();
    Forget(m);
    m->freed.notify_one();
    return true;
}

NamedMutex* NamedMutexFor(const wchar_t* name) {
    InstallForkHandler();
    const std::string file = FileNameFor(name);
    std::lock_guard<std::mutex> guard(g_registryLock);
    NamedMutex*& m = Registry()[file];
    if (m == nullptr) {
        // Named mutexes stay for the life of the process: the name may be opened again.
        m = new NamedMutex();
        const std::string folder = LockFolder();
        if (folder.empty()) {
            m->openError = err::kAccessDenied;
        } else if (file.size() > 255) {
            m->openError = err::kFilenameTooLong;
        } else {
            m->path = folder + "/" + file;
        }
    }
    return m;
}

}  // namespace

Mutex* MutexCreate(const wchar_t* name) {
    auto* mutex = new Mutex();
    if (name == nullptr || *name == 0) {
        mutex->priv = new PrivateMutex();
        mutex->priv->users = 1;
    } else {
        mutex->named = NamedMutexFor(name);
    }
    return mutex;
}

WaitResult MutexLock(Mutex* mutex, DWORD timeoutMs) {
    return mutex->named != nullptr ? LockNamed(mutex->named, timeoutMs) : LockPrivate(mutex->priv, timeoutMs);
}

bool MutexUnlock(Mutex* mutex) {
    return mutex->named != nullptr ? UnlockNamed(mutex->named) : UnlockPrivate(mutex->priv);
}

void MutexDestroy(Mutex* mutex) {
    PrivateMutex* m = mutex->priv;
    delete mutex;
    if (m == nullptr) return;
    bool remove = false;
    {
        std::lock_guard<std::mutex> guard(m->lock);
        remove = --m->users == 0 && m->owner == std::thread::id();
        if (!remove) m->orphan = true;   // released when its owner thread ends
    }
    if (remove) delete m;
}

}  // namespace brim::platform
