// Renaming with a fresh name on collision: renameat2(RENAME_NOREPLACE) never
// replaces a target, and a taken name is retried as "name (2).ext",
// "name (3).ext", and so on, like the Windows shell names copies.

#include "framework/shell/fs_platform.h"

#include "framework/errors/errno_posix.h"
#include "framework/files/native_path_posix.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <cwchar>
#include <string>

namespace brim::platform {
namespace {

// A bound on the retries, so a folder full of copies cannot hold us forever.
constexpr int kMaxCopyNumber = 10000;

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without the flag: check, then rename (not atomic).
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

bool SameItem(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return lstat(a.c_str(), &sa) == 0 && lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

void ShellRename(const wchar_t* oldName, const wchar_t* newName) {
    std::string from, to;
    if (!NativePath(oldName, from) || !NativePath(newName, to)) return;
    if (SameItem(from, to)) return;   // renaming onto itself changes nothing
    if (RenameNoReplace(from, to) == 0) return;
    if (errno != EEXIST) {
        SetLastErrorFromErrno(errno);
        return;
    }
    // "dir/name.ext" -> "dir/" + "name" + " (n)" + ".ext"; a leading dot
    // belongs to the name.
    const std::size_t slash = to.rfind('/');
    const std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = to.rfind('.');
    if (dot == std::string::npos || dot <= baseStart) dot = to.size();
    const std::string stem = to.substr(0, dot), extension = to.substr(dot);
    for (int n = 2; n <= kMaxCopyNumber; ++n) {
        if (RenameNoReplace(from, stem + " (" + std::to_string(n) + ")" + extension) == 0) return;
        if (errno != EEXIST) break;
    }
    SetLastErrorFromErrno(errno);
}

}  // namespace brim::platform
