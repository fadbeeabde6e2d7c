// File enumeration on POSIX: readdir with Windows-style wildcards.
//
// A folder is read whole when the enumeration starts and closed at once, so
// a walk holds no descriptor per level and goes as deep as the file system
// does (the paths of a deep walk are opened piecewise with openat once they
// outgrow PATH_MAX). Types come from the directory entry where the file
// system gives them, so a walk costs no stat per entry. A symbolic link is
// reported as a link (reparse point); one that leads to a folder carries the
// folder attribute as well, as a folder link does on Windows.

#include "framework/files/file_find_platform.h"

#include "framework/errors/errno_posix.h"
#include "framework/errors/error_codes.h"
#include "framework/files/native_path_posix.h"

#include <brim/framework.h>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace brim::platform {

struct FindHandle {
    struct Entry {
        std::size_t offset;   // of the name in names
        std::size_t length;
        DWORD attributes;
    };
    std::string names;
    std::vector<Entry> entries;
    std::size_t next = 0;
    std::wstring wildcard;
    bool matchAll;
};

namespace {

// * matches any run of characters, ? any one character; case-sensitive.
bool WildcardMatch(const wchar_t* pattern, const wchar_t* name) {
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*name != 0) {
        if (*pattern == L'*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == L'?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == L'*') ++pattern;
    return *pattern == 0;
}

// The folder made absolute, with "." and ".." folded by name as Windows
// resolves a full path (links are not consulted).
std::wstring AbsoluteFolder(const std::wstring& folder) {
    std::wstring path = folder;
    if (path.empty() || !IsPathSeparator(path[0])) {
        std::vector<char> cwd(4096);
        while (getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE) cwd.resize(cwd.size() * 2);
        path = NameFromNative(cwd.data(), std::strlen(cwd.data())) + L"/" + path;
    }
    // Most folders have nothing to fold: only their separators to unify. This
    // runs once per folder of a walk, on paths as long as the walk is deep.
    bool plain = true;
    for (std::size_t k = 0; k < path.size() && plain; ++k) {
        if (!IsPathSeparator(path[k])) continue;
        path[k] = L'/';
        const wchar_t* next = path.c_str() + k + 1;
        plain = *next != L'/' && *next != L'\\' && !(next[0] == L'.' && (next[1] == 0 || IsPathSeparator(next[1]) ||
                                                      (next[1] == L'.' && (next[2] == 0 || IsPathSeparator(next[2])))));
    }
    if (plain) {
        if (path.size() > 1 && path.back() == L'/') path.pop_back();
        return path;
    }
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsPathSeparator(path[end])) ++end;
        const std::wstring part = path.substr(start, end - start);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::wstring result;
    for (const std::wstring& part : parts) result += L"/" + part;
    return result.empty() ? L"/" : result;
}

DWORD AttributesOf(int folder, const struct dirent* entry) {
    unsigned char type = entry->d_type;
    struct stat st;
    if (type == DT_UNKNOWN && fstatat(folder, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
    DWORD attributes = 0;
    if (type == DT_DIR) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (type == DT_LNK) {
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        if (fstatat(folder, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if (entry->d_name[0] == '.') attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// Opens a folder by a path of any length: whole when the system takes it,
// else piece by piece below PATH_MAX each, every piece relative to the last.
int OpenFolder(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 || errno != ENAMETOOLONG) return fd;
    fd = path[0] == '/' ? open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : AT_FDCWD;
    std::size_t start = path[0] == '/' ? 1 : 0;
    for (;;) {
        while (start < path.size() && path[start] == '/') ++start;
        if (start >= path.size()) break;
        std::size_t end = path.size();
        if (end - start >= PATH_MAX) {
            end = path.rfind('/', start + PATH_MAX - 1);
            if (end == std::string::npos || end <= start) {
                if (fd >= 0) close(fd);
                errno = ENAMETOOLONG;   // one name longer than the system allows
                return -1;
            }
        }
        const int next = openat(fd, path.substr(start, end - start).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int e = errno;
        if (fd >= 0) close(fd);
        if (next < 0) {
            errno = e;
            return -1;
        }
        fd = next;
        start = end + 1;
    }
    return fd;
}

bool SetFailure(int error) {
    SetLastError(error == ENOENT ? err::kPathNotFound : ErrnoToWin32(error));
    return false;
}

bool ReadFolder(int fd, FindHandle& handle) {
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        const int e = errno;
        close(fd);
        return SetFailure(e);
    }
    for (;;) {
        errno = 0;
        const struct dirent* entry = readdir(dir);
        if (entry == nullptr) break;
        const std::size_t length = std::strlen(entry->d_name);
        handle.entries.push_back({handle.names.size(), length, AttributesOf(dirfd(dir), entry)});
        handle.names.append(entry->d_name, length);
    }
    const int e = errno;
    closedir(dir);
    return e == 0 || SetFailure(e);
}

}  // namespace

FindHandle* FindOpen(const wchar_t* pattern, std::wstring& root) {
    const std::wstring text(pattern);
    std::size_t slash = text.size();
    while (slash > 0 && !IsPathSeparator(text[slash - 1])) --slash;
    std::wstring folder = slash == 0 ? L"." : slash == 1 ? text.substr(0, 1) : text.substr(0, slash - 1);
    const std::wstring wildcard = text.substr(slash);
    if (wildcard.empty()) {
        SetLastError(err::kFileNotFound);
        return nullptr;
    }
    std::string native;
    if (!NativePath(folder.c_str(), folder.size(), native)) return nullptr;
    const int fd = OpenFolder(native);
    if (fd < 0) {
        SetFailure(errno);
        return nullptr;
    }
    auto* handle = new FindHandle{};
    if (!ReadFolder(fd, *handle)) {
        delete handle;
        return nullptr;
    }
    handle->wildcard = wildcard;
    handle->matchAll = wildcard == L"*" || wildcard == L"*.*";
    root = AbsoluteFolder(folder);
    return handle;
}

bool FindNextEntry(FindHandle* handle, CStringW& name, DWORD& attributes) {
    while (handle->next < handle->entries.size()) {
        const FindHandle::Entry& entry = handle->entries[handle->next++];
        NameFromNative(handle->names.data() + entry.offset, entry.length, name);
        if (!handle->matchAll && !WildcardMatch(handle->wildcard.c_str(), name.GetString())) continue;
        attributes = entry.attributes;
        return true;
    }
    SetLastError(err::kNoMoreFiles);
    return false;
}

void FindClose(FindHandle* handle) { delete handle; }

bool FolderIdentity(const wchar_t* folder, FolderId& id) {
    std::string native;
    if (!NativePath(folder, native)) return false;
    const int fd = OpenFolder(native.empty() ? std::string(".") : native);
    if (fd < 0) return SetFailure(errno);
    struct stat st;
    const bool ok = fstat(fd, &st) == 0;
    const int e = errno;
    close(fd);
    if (!ok) return SetFailure(e);
    id.volume = static_cast<std::uint64_t>(st.st_dev);
    id.index = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

}  // namespace brim::platform
