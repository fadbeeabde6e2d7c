// Files on POSIX with the sharing rules of Windows.
//
// Windows refuses an open whose access another opener does not share, or
// whose sharing does not allow another opener's access. Here every open
// publishes its access and its denials as shared OFD locks on four bytes far
// past any real data (advisory locks do not hinder reads or writes), and then
// tests for conflicting locks of other openers. Taking before testing means
// two conflicting openers can never both succeed; in a tight race both may
// fail, where Windows would let one win. On a file system without locks the
// open proceeds without sharing checks.

#include "framework/files/file_platform.h"

#include "framework/errors/errno_posix.h"
#include "framework/errors/error_codes.h"
#include "framework/files/native_path_posix.h"

#include <brim/framework.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cwchar>
#include <string>

namespace brim::platform {
namespace {

struct PosixFile {
    int fd;
    bool canRead;
    bool canWrite;
};

PosixFile* FromHandle(HANDLE file) {
    if (file == nullptr || file == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<PosixFile*>(file);
}

// The lock bytes: access taken (read, write) and access denied to others.
constexpr off_t kLockBase = static_cast<off_t>(0x7FFFFFFF00000000LL);
enum LockByte { kAccessRead = 0, kAccessWrite = 1, kDenyRead = 2, kDenyWrite = 3 };

#if defined(F_OFD_SETLK)
// Applies op (F_OFD_SETLK with a read lock, or F_OFD_GETLK) to each run of
// adjacent bytes in mask, so the common opens need one call each way.
// For F_OFD_GETLK, true means another opener holds a byte of the mask.
bool ForEachRun(int fd, unsigned mask, int op, bool& othersHold) {
    for (int first = 0; first < 4;) {
        if (!(mask & (1u << first))) {
            ++first;
            continue;
        }
        int end = first;
        while (end < 4 && (mask & (1u << end))) ++end;
        struct flock fl = {};
        fl.l_type = op == F_OFD_GETLK ? F_WRLCK : F_RDLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = kLockBase + first;
        fl.l_len = end - first;
        if (fcntl(fd, op, &fl) != 0) return false;
        if (op == F_OFD_GETLK && fl.l_type != F_UNLCK) othersHold = true;
        first = end;
    }
    return true;
}

// Publishes this open's access and denials; false on a sharing conflict.
bool ClaimSharing(int fd, bool read, bool write, bool denyRead, bool denyWrite) {
    const auto bit = [](bool on, LockByte b) { return on ? 1u << b : 0u; };
    const unsigned held = bit(read, kAccessRead) | bit(write, kAccessWrite) | bit(denyRead, kDenyRead) | bit(denyWrite, kDenyWrite);
    // What others must not hold: denials of our access, and access we deny.
    const unsigned conflicts = bit(read, kDenyRead) | bit(write, kDenyWrite) | bit(denyRead, kAccessRead) | bit(denyWrite, kAccessWrite);
    bool othersHold = false;
    if (read && write && denyRead && denyWrite) {
        // Exclusive: any lock of another opener on the four bytes conflicts,
        // so one write lock over them takes and tests at once. It also keeps
        // every other opener's claim from succeeding, as the read locks do.
        struct flock fl = {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = kLockBase;
        fl.l_len = 4;
        if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
        return errno != EAGAIN && errno != EACCES;   // no lock support: no checks
    }
    if (!ForEachRun(fd, held, F_OFD_SETLK, othersHold)) {
        // No lock support (or no read access for the lock): no checks.
        return errno != EAGAIN && errno != EACCES;
    }
    if (!ForEachRun(fd, conflicts, F_OFD_GETLK, othersHold)) return true;
    return !othersHold;
}
#else
bool ClaimSharing(int, bool, bool, bool, bool) { return true; }   // no OFD locks: no sharing checks
#endif

// ENOENT means "file not found" when the folder exists, else "path not found".
DWORD MissingCode(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return err::kFileNotFound;
    struct stat st;
    const std::string parent = path.substr(0, slash);
    return (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? err::kFileNotFound : err::kPathNotFound;
}

}  // namespace

HANDLE FileOpen(const wchar_t* name, UINT openFlags) {
    const UINT access = openFlags & 0x3;
    if (name == nullptr || access == 0x3) {
        SetLastError(err::kInvalidParameter);
        return INVALID_HANDLE_VALUE;
    }
    const bool read = access == CFile::modeRead || access == CFile::modeReadWrite;
    const bool write = access == CFile::modeWrite || access == CFile::modeReadWrite;
    bool denyRead = false, denyWrite = false;
    switch (openFlags & 0x70) {
    case CFile::shareDenyWrite: denyWrite = true; break;
    case CFile::shareDenyRead: denyRead = true; break;
    case CFile::shareDenyNone: break;
    default: denyRead = denyWrite = true; break;   // exclusive, also without a share flag
    }

    std::string path;
    if (!NativePath(name, path)) return INVALID_HANDLE_VALUE;
    int flags = O_CLOEXEC | O_NOCTTY;
    if (openFlags & CFile::modeCreate) flags |= O_CREAT;
    // A write-only open still reads for its lock; Read() refuses it all the same.
    int fd = open(path.c_str(), flags | (write ? O_RDWR : O_RDONLY), 0666);
    if (fd < 0 && write && errno == EACCES && access == CFile::modeWrite) fd = open(path.c_str(), flags | O_WRONLY, 0666);
    if (fd < 0) {
        const int e = errno;
        SetLastError(e == ENOENT ? MissingCode(path) : ErrnoToWin32(e));
        return INVALID_HANDLE_VALUE;
    }
    // A folder opens only for reading; a writing open has failed with EISDIR already.
    struct stat st;
    if (!write && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        SetLastError(err::kAccessDenied);   // a folder is not a file
        return INVALID_HANDLE_VALUE;
    }
    if (!ClaimSharing(fd, read, write, denyRead, denyWrite)) {
        close(fd);
        SetLastError(err::kSharingViolation);
        return INVALID_HANDLE_VALUE;
    }
    // Truncate only once the open is allowed: a refused open changes nothing.
    if ((openFlags & CFile::modeCreate) && !(openFlags & CFile::modeNoTruncate) && ftruncate(fd, 0) != 0) {
        const int e = errno;
        close(fd);
        SetLastErrorFromErrno(e);
        return INVALID_HANDLE_VALUE;
    }
    return new PosixFile{fd, read, write};
}

bool FileRead(HANDLE file, void* buffer, UINT count, UINT* done) {
    *done = 0;
    PosixFile* f = FromHandle(file);
    if (f == nullptr) { SetLastError(err::kInvalidHandle); return false; }
    if (!f->canRead) { SetLastError(err::kAccessDenied); return false; }
    auto* p = static_cast<char*>(buffer);
    while (*done < count) {
        const ssize_t n = read(f->fd, p + *done, count - *done);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno(errno);
            return false;
        }
        if (n == 0) break;   // end of file
        *done += static_cast<UINT>(n);
    }
    return true;
}

bool FileWrite(HANDLE file, const void* buffer, UINT count) {
    PosixFile* f = FromHandle(file);
    if (f == nullptr) { SetLastError(err::kInvalidHandle); return false; }
    if (!f->canWrite) { SetLastError(err::kAccessDenied); return false; }
    const auto* p = static_cast<const char*>(buffer);
    UINT written = 0;
    while (written < count) {
        const ssize_t n = write(f->fd, p + written, count - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno(errno);
            return false;
        }
        written += static_cast<UINT>(n);
    }
    return true;
}

bool FileSeek(HANDLE file, LONGLONG offset, UINT from, ULONGLONG* position) {
    PosixFile* f = FromHandle(file);
    if (f == nullptr) { SetLastError(err::kInvalidHandle); return false; }
    const int whence = from == CFile::begin ? SEEK_SET : from == CFile::current ? SEEK_CUR : from == CFile::end ? SEEK_END : -1;
    if (whence < 0) { SetLastError(err::kInvalidParameter); return false; }
    const off_t r = lseek(f->fd, static_cast<off_t>(offset), whence);
    if (r < 0) {
        SetLastError(errno == EINVAL ? err::kNegativeSeek : ErrnoToWin32(errno));
        return false;
    }
    *position = static_cast<ULONGLONG>(r);
    return true;
}

bool FileLength(HANDLE file, ULONGLONG* length) {
    PosixFile* f = FromHandle(file);
    if (f == nullptr) { SetLastError(err::kInvalidHandle); return false; }
    struct stat st;
    if (fstat(f->fd, &st) != 0) { SetLastErrorFromErrno(errno); return false; }
    *length = static_cast<ULONGLONG>(st.st_size);
    return true;
}

bool FileSetLength(HANDLE file, ULONGLONG length) {
    PosixFile* f = FromHandle(file);
    if (f == nullptr) { SetLastError(err::kInvalidHandle); return false; }
    if (length > static_cast<ULONGLONG>(LLONG_MAX)) { SetLastError(err::kInvalidParameter); return false; }
    if (ftruncate(f->fd, static_cast<off_t>(length)) != 0) { SetLastErrorFromErrno(errno); return false; }
    return true;
}

bool FileFlush(HANDLE file) {
    PosixFile* f = FromHandle(file);
    if (f == nullptr) { SetLastError(err::kInvalidHandle); return false; }
    if (fsync(f->fd) != 0 && errno != EINVAL) { SetLastErrorFromErrno(errno); return false; }
    return true;
}

bool FileClose(HANDLE file) {
    PosixFile* f = FromHandle(file);
    if (f == nullptr) { SetLastError(err::kInvalidHandle); return false; }
    const int r = close(f->fd);   // the sharing locks go with the descriptor
    const int e = errno;
    delete f;
    if (r != 0 && e != EINTR) { SetLastErrorFromErrno(e); return false; }
    return true;
}

bool FileRemove(const wchar_t* name) {
    if (name == nullptr) { SetLastError(err::kInvalidParameter); return false; }
    std::string path;
    if (!NativePath(name, path)) return false;
    if (unlink(path.c_str()) != 0) {
        const int e = errno;
        SetLastError(e == ENOENT ? MissingCode(path) : ErrnoToWin32(e));
        return false;
    }
    return true;
}

bool FileRename(const wchar_t* oldName, const wchar_t* newName) {
    if (oldName == nullptr || newName == nullptr) { SetLastError(err::kInvalidParameter); return false; }
    std::string from, to;
    if (!NativePath(oldName, from) || !NativePath(newName, to)) return false;
    // Windows never replaces an existing target.
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        const int e = errno;
        SetLastError(e == EEXIST ? err::kAlreadyExists : e == ENOENT ? MissingCode(from) : ErrnoToWin32(e));
        return false;
    }
    return true;
}

}  // namespace brim::platform

namespace brim::platform {

bool FolderCreate(const wchar_t* name) {
    if (name == nullptr) { SetLastError(err::kInvalidParameter); return false; }
    if (*name == 0) { SetLastError(err::kPathNotFound); return false; }
    std::string path;
    if (!NativePath(name, path)) return false;
    if (mkdir(path.c_str(), 0777) != 0) {
        const int e = errno;
        SetLastError(e == EEXIST ? err::kAlreadyExists : e == ENOENT ? err::kPathNotFound : ErrnoToWin32(e));
        return false;
    }
    return true;
}

}  // namespace brim::platform
