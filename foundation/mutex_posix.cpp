// Named mutexes on POSIX.
//
// A name is a lock file in the user's private runtime folder
// ($XDG_RUNTIME_DIR/brim, else /tmp/brim-<uid>, 0700 and owned by the user),
// held with an OFD write lock: the kernel releases it when the holding
// process ends, so a holder that dies hands the mutex to the next waiter.
// (Such a takeover counts as a plain acquisition: marking the file on every
// lock and unlock to report it as abandoned would double the cost of the
// log's records, and CMutex::Lock succeeds in both cases anyway.)
//
// Inside a process all objects of one name share one state: the owning
// thread and its recursion depth. Other threads wait on a condition variable,
// so at most one thread per process waits in the kernel. A thread that ends
// while it owns a mutex abandons it to the next waiter, as on Windows.

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

namespace brim::platform {

struct MutexState {
    std::mutex lock;
    std::condition_variable freed;
    std::thread::id owner;        // default: nobody
    unsigned depth = 0;
    bool abandoned = false;       // the last owner thread ended holding it
    std::string path;             // lock file; empty for an unnamed mutex
    int fd = -1;                  // opened at first use
    DWORD openError = 0;
    int users = 0;                // CMutex objects referring to this state
    bool orphan = false;          // unnamed, its last object gone while owned
};

struct Mutex {
    MutexState* state;
};

namespace {

std::mutex g_registryLock;
std::map<std::string, MutexState*>& Registry() {
    static auto* registry = new std::map<std::string, MutexState*>();   // lives until exit, used by atfork
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

bool OpenLockFile(MutexState* s) {
    if (s->fd >= 0) return true;
    if (s->openError != 0) return false;
    const int fd = open(s->path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        s->openError = ErrnoToWin32(errno);
        return false;
    }
    s->fd = fd;
    return true;
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
WaitResult LockFile(MutexState* s, DWORD timeoutMs) {
    if (timeoutMs == INFINITE) {
        if (!FileLock(s->fd, F_WRLCK, true)) {
            SetLastErrorFromErrno(errno);
            return WaitResult::Failed;
        }
    } else {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        auto pause = std::chrono::microseconds(200);
        while (!FileLock(s->fd, F_WRLCK, false)) {
            if (errno != EAGAIN && errno != EACCES) {
                SetLastErrorFromErrno(errno);
                return WaitResult::Failed;
            }
            if (std::chrono::steady_clock::now() >= deadline) return WaitResult::TimedOut;
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(10000));
        }
    }
    return WaitResult::Acquired;
}

void UnlockFile(MutexState* s) {
    if (s->fd >= 0) FileLock(s->fd, F_UNLCK, false);
}

// --- threads that end owning a mutex -----------------------------------------

void ReleaseOnThreadExit(MutexState* s);

struct OwnedByThread {
    std::vector<MutexState*> states;
    ~OwnedByThread() {
        for (MutexState* s : states) ReleaseOnThreadExit(s);
    }
};
thread_local OwnedByThread t_owned;

void Forget(MutexState* s) {
    auto& v = t_owned.states;
    v.erase(std::remove(v.begin(), v.end(), s), v.end());
}

void ReleaseOnThreadExit(MutexState* s) {
    bool remove = false;
    {
        std::lock_guard<std::mutex> guard(s->lock);
        if (s->owner != std::this_thread::get_id()) return;
        s->depth = 0;
        s->owner = std::thread::id();
        s->abandoned = true;
        UnlockFile(s);
        remove = s->orphan;
        s->freed.notify_one();
    }
    if (remove) delete s;
}

// --- fork: the child starts with no owner and reopens its lock files --------

void BeforeFork() {
    g_registryLock.lock();
    for (auto& entry : Registry()) entry.second->lock.lock();
}

void AfterForkParent() {
    for (auto& entry : Registry()) entry.second->lock.unlock();
    g_registryLock.unlock();
}

void AfterForkChild() {
    for (auto& entry : Registry()) {
        MutexState* s = entry.second;
        // The descriptor shares the parent's lock; the child must not hold it.
        if (s->fd >= 0) close(s->fd);
        s->fd = -1;
        s->owner = std::thread::id();
        s->depth = 0;
        s->lock.unlock();
    }
    t_owned.states.clear();
    g_registryLock.unlock();
}

void InstallForkHandlers() {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(BeforeFork, AfterForkParent, AfterForkChild); });
}

}  // namespace

Mutex* MutexCreate(const wchar_t* name) {
    if (name == nullptr || *name == 0) {
        auto* s = new MutexState();
        s->users = 1;
        return new Mutex{s};
    }
    InstallForkHandlers();
    const std::string file = FileNameFor(name);
    std::lock_guard<std::mutex> guard(g_registryLock);
    MutexState*& s = Registry()[file];
    if (s == nullptr) {
        s = new MutexState();
        const std::string folder = LockFolder();
        if (folder.empty()) {
            s->openError = err::kAccessDenied;
        } else if (file.size() > 255) {
            s->openError = err::kFilenameTooLong;
        } else {
            s->path = folder + "/" + file;
        }
    }
    ++s->users;
    return new Mutex{s};
}

WaitResult MutexLock(Mutex* mutex, DWORD timeoutMs) {
    MutexState* s = mutex->state;
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> lk(s->lock);
    if (s->owner == me) {
        ++s->depth;
        return WaitResult::Acquired;
    }
    const bool named = !s->path.empty() || s->openError != 0;
    if (named && !OpenLockFile(s)) {
        SetLastError(s->openError);
        return WaitResult::Failed;
    }
    const auto nobody = [s] { return s->owner == std::thread::id(); };
    if (timeoutMs == INFINITE) {
        s->freed.wait(lk, nobody);
    } else if (!s->freed.wait_for(lk, std::chrono::milliseconds(timeoutMs), nobody)) {
        return WaitResult::TimedOut;
    }
    s->owner = me;   // claimed in this process: other threads keep waiting on the condition
    WaitResult result = WaitResult::Acquired;
    if (named) {
        lk.unlock();
        result = LockFile(s, timeoutMs);
        lk.lock();
        if (result == WaitResult::TimedOut || result == WaitResult::Failed) {
            s->owner = std::thread::id();
            s->freed.notify_one();
            return result;
        }
    }
    if (s->abandoned) {
        s->abandoned = false;
        result = WaitResult::Abandoned;
    }
    s->depth = 1;
    t_owned.states.push_back(s);
    return result;
}

bool MutexUnlock(Mutex* mutex) {
    MutexState* s = mutex->state;
    std::lock_guard<std::mutex> guard(s->lock);
    if (s->owner != std::this_thread::get_id()) {
        SetLastError(err::kNotOwner);
        return false;
    }
    if (--s->depth > 0) return true;
    UnlockFile(s);
    s->owner = std::thread::id();
    Forget(s);
    s->freed.notify_one();
    return true;
}

void MutexDestroy(Mutex* mutex) {
    MutexState* s = mutex->state;
    delete mutex;
    if (!s->path.empty() || s->openError != 0) {
        // Named states stay for the life of the process: the name may be opened again.
        std::lock_guard<std::mutex> guard(g_registryLock);
        --s->users;
        return;
    }
    bool remove = false;
    {
        std::lock_guard<std::mutex> guard(s->lock);
        remove = --s->users == 0 && s->owner == std::thread::id();
        if (!remove) s->orphan = true;   // released when its owner thread ends
    }
    if (remove) delete s;
}

}  // namespace brim::platform
