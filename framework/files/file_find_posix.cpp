// File enumeration on POSIX: readdir with Windows-style wildcards. Types come
// from the directory entry where the file system gives them, so a walk costs
// no stat per entry; symbolic links are reported as links, never followed.

#include "framework/files/file_find_platform.h"

#include "framework/errors/errno_posix.h"
#include "framework/errors/error_codes.h"
#include "framework/codepages/text_codec.h"
#include "framework/codepages/utf8.h"

#include <brim/framework.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace brim::platform {

struct FindHandle {
    DIR* dir;
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
    if (path.empty() || path[0] != L'/') {
        std::vector<char> cwd(4096);
        while (getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE) cwd.resize(cwd.size() * 2);
        path = detail::Utf8ToWide(cwd.data(), std::strlen(cwd.data())) + L"/" + path;
    }
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'/', start);
        if (end == std::wstring::npos) end = path.size();
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

DWORD AttributesOf(DIR* dir, const struct dirent* entry) {
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
        struct stat st;
        if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
    }
    DWORD attributes = 0;
    if (type == DT_DIR) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (type == DT_LNK) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (entry->d_name[0] == '.') attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace

FindHandle* FindOpen(const wchar_t* pattern, std::wstring& root) {
    const std::wstring text(pattern);
    const std::size_t slash = text.rfind(L'/');
    std::wstring folder = slash == std::wstring::npos ? L"." : text.substr(0, slash);
    if (slash == 0) folder = L"/";
    const std::wstring wildcard = slash == std::wstring::npos ? text : text.substr(slash + 1);
    if (wildcard.empty()) {
        SetLastError(err::kFileNotFound);
        return nullptr;
    }
    const std::string native = detail::WideToUtf8(folder.data(), folder.size());
    DIR* dir = opendir(native.c_str());
    if (dir == nullptr) {
        const int e = errno;
        SetLastError(e == ENOENT ? err::kPathNotFound : ErrnoToWin32(e));
        return nullptr;
    }
    root = AbsoluteFolder(folder);
    return new FindHandle{dir, wildcard, wildcard == L"*" || wildcard == L"*.*"};
}

bool FindNextEntry(FindHandle* handle, CStringW& name, DWORD& attributes) {
    for (;;) {
        errno = 0;
        const struct dirent* entry = readdir(handle->dir);
        if (entry == nullptr) {
            if (errno != 0) SetLastErrorFromErrno(errno);
            else SetLastError(18);   // ERROR_NO_MORE_FILES
            return false;
        }
        // Decoded straight into the string: this runs once per entry of a walk.
        const std::size_t bytes = std::strlen(entry->d_name);
        const std::size_t units = detail::Utf8ToWideCount(entry->d_name, bytes);
        detail::Utf8ToWideConvert(entry->d_name, bytes, name.GetBufferSetLength(static_cast<int>(units)));
        name.ReleaseBuffer(static_cast<int>(units));
        if (!handle->matchAll && !WildcardMatch(handle->wildcard.c_str(), name.GetString())) continue;
        attributes = AttributesOf(handle->dir, entry);
        return true;
    }
}

void FindClose(FindHandle* handle) {
    closedir(handle->dir);
    delete handle;
}

}  // namespace brim::platform
