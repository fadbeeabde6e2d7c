// Mutexes on POSIX.
//
// A named mutex is a lock file in the user's private runtime folder
// ($XDG_RUNTIME_DIR/brim, else /tmp/brim-<uid>, 0700 and owned by the user),
// held with an OFD write lock. Every thread that uses a name opens the file
// once for itself and keeps the descriptor until it ends, so the kernel
// arbitrates between the threads of a process exactly as between processes:
// a waiter sleeps in the kernel, and nothing wakes it in vain (a
// process-local queue in front of the kernel lock cost a context switch per
// hand-over). Recursion is counted per thread. The kernel drops a lock when
// its descriptor closes, so a thread that ends holding the mutex, and a
// process that dies holding it, hand it to the next waiter. Such a takeover
// counts as a plain acquisition, as CMutex::Lock succeeds in both cases.
// A thread costs one descriptor for each name it has used.
//
// An unnamed mutex is private to its process: an owner, a depth and a
// condition variable. A thread that ends owning one abandons it to the next
// waiter, as on Windows.

#include "foundation/platform.h"

#include "foundation/errno_posix.h"
#include "foundation/error_codes.h"
#include "foundation/text_codec.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_THREAD__)
#define BRIM_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BRIM_TSAN 1
#endif
#endif
#if defined(BRIM_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

namespace brim::platform {

struct NamedMutex {
    std::string path;                 // lock file; empty when openError is set
    DWORD openError = 0;
    std::mutex fdsLock;
    std::vector<int> fds;             // every thread's descriptor, closed in a forked child
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

// The kernel lock is invisible to the thread sanitizer; tell it what the
// lock orders.
void AnnotateAcquired([[maybe_unused]] NamedMutex* m) {
#if defined(BRIM_TSAN)
    __tsan_acquire(m);
#endif
}

void AnnotateReleasing([[maybe_unused]] NamedMutex* m) {
#if defined(BRIM_TSAN)
    __tsan_release(m);
#endif
}

std::mutex g_registryLock;
std::map<std::string, NamedMutex*>& Registry() {
    static auto* registry = new std::map<std::string, NamedMutex*>();   // lives until exit, used by atfork
    return *registry;
}

// --- the lock folder and file ------------------------------------------------

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
    return out + ".lock";
}

bool FileLock(int fd, short type, bool wait) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;   // the whole file
    for (;;) {
        if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
        if (errno == EINTR) continue;
        return false;
    }
}

// Takes the file lock within the time-out: Acquired, TimedOut or Failed.
WaitResult LockFile(int fd, DWORD timeoutMs) {
    if (timeoutMs == INFINITE) {
        if (FileLock(fd, F_WRLCK, true)) return WaitResult::Acquired;
        SetLastErrorFromErrno(errno);
        return WaitResult::Failed;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::microseconds(200);
    while (!FileLock(fd, F_WRLCK, false)) {
        if (errno != EAGAIN && errno != EACCES) {
            SetLastErrorFromErrno(errno);
            return WaitResult::Failed;
        }
        if (std::chrono::steady_clock::now() >= deadline) return WaitResult::TimedOut;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
    return WaitResult::Acquired;
}

// --- what a thread holds -------------------------------------------------------

// This thread's descriptor and recursion depth for one name.
struct NamedHold {
    NamedMutex* mutex;
    int fd;
    unsigned depth;
};

void ReleaseOnThreadExit(PrivateMutex* m);

void Forget(NamedMutex* m, int fd) {
    std::lock_guard<std::mutex> guard(m->fdsLock);
    m->fds.erase(std::remove(m->fds.begin(), m->fds.end(), fd), m->fds.end());
}

struct ThreadHolds {
    std::vector<NamedHold> named;
    std::vector<PrivateMutex*> owned;   // private mutexes this thread owns

    ~ThreadHolds() {
        for (const NamedHold& h : named) {
            if (h.depth > 0) AnnotateReleasing(h.mutex);
            Forget(h.mutex, h.fd);
            close(h.fd);   // a lock still held goes to the next waiter
        }
        for (PrivateMutex* m : owned) ReleaseOnThreadExit(m);
    }

    NamedHold* Find(NamedMutex* m) {
        for (NamedHold& h : named) {
            if (h.mutex == m) return &h;
        }
        return nullptr;
    }
};
thread_local ThreadHolds t_holds;

// This thread's hold of m, opening its descriptor at first use; null (last
// error set) when the lock file cannot be opened.
NamedHold* HoldOf(NamedMutex* m) {
    if (NamedHold* h = t_holds.Find(m)) return h;
    if (m->openError != 0) {
        SetLastError(m->openError);
        return nullptr;
    }
    const int fd = open(m->path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(m->fdsLock);
        m->fds.push_back(fd);
    }
    t_holds.named.push_back(NamedHold{m, fd, 0});
    return &t_holds.named.back();
}

WaitResult LockNamed(NamedMutex* m, DWORD timeoutMs) {
    NamedHold* h = HoldOf(m);
    if (h == nullptr) return WaitResult::Failed;
    if (h->depth > 0) {
        ++h->depth;
        return WaitResult::Acquired;
    }
    const WaitResult result = LockFile(h->fd, timeoutMs);
    if (result == WaitResult::Acquired) {
        AnnotateAcquired(m);
        h->depth = 1;
    }
    return result;
}

bool UnlockNamed(NamedMutex* m) {
    NamedHold* h = t_holds.Find(m);
    if (h == nullptr || h->depth == 0) {
        SetLastError(err::kNotOwner);
        return false;
    }
    if (--h->depth > 0) return true;
    AnnotateReleasing(m);
    FileLock(h->fd, F_UNLCK, false);
    return true;
}

// --- private mutexes -----------------------------------------------------------

void Forget(PrivateMutex* m) {
    auto& v = t_holds.owned;
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
    t_holds.owned.push_back(m);
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

// --- fork: the child holds nothing and opens its own descriptors -------------

void BeforeFork() {
    g_registryLock.lock();
    for (auto& entry : Registry()) entry.second->fdsLock.lock();
}

void AfterForkParent() {
    for (auto& entry : Registry()) entry.second->fdsLock.unlock();
    g_registryLock.unlock();
}

void AfterForkChild() {
    // The inherited descriptors share the parent's locks; the child must not hold them.
    for (auto& entry : Registry()) {
        NamedMutex* m = entry.second;
        for (int fd : m->fds) close(fd);
        m->fds.clear();
        m->fdsLock.unlock();
    }
    t_holds.named.clear();
    g_registryLock.unlock();
}

void InstallForkHandlers() {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(BeforeFork, AfterForkParent, AfterForkChild); });
}

NamedMutex* NamedMutexFor(const wchar_t* name) {
    InstallForkHandlers();
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
