// Recursive deletion on Windows with FindFirstFileW, in two path buffers of
// MAX_PATH characters; a path that does not fit ends the deletion with
// ERROR_FILENAME_EXCED_RANGE. A folder link (reparse point) is removed as a
// link and never entered.

#include "framework/shell/fs_platform.h"

#include <io.h>
#include <sys/stat.h>

#include <cwchar>

namespace brim::platform {
namespace {

constexpr DWORD kFilenameTooLong = 206;

// Appends text at length if it fits with its terminator.
bool Append(wchar_t (&buffer)[MAX_PATH], std::size_t& length, const wchar_t* text) {
    const std::size_t n = std::wcslen(text);
    if (length + n + 1 > MAX_PATH) return false;
    std::wmemcpy(buffer + length, text, n + 1);
    length += n;
    return true;
}

bool IsDotName(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

}  // namespace

bool DeleteFolderTree(const wchar_t* folder) {
    wchar_t pattern[MAX_PATH];
    wchar_t entry[MAX_PATH];
    std::size_t prefixLength = 0;
    if (!Append(pattern, prefixLength, folder) || !Append(pattern, prefixLength, L"\\") ||
        prefixLength + 2 > MAX_PATH) {
        SetLastError(kFilenameTooLong);
        return false;
    }
    pattern[prefixLength] = L'*';
    pattern[prefixLength + 1] = 0;

    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    pattern[prefixLength] = 0;   // from here on the pattern buffer keeps the prefix

    bool ok = true;
    do {
        if (IsDotName(data.cFileName)) continue;
        std::size_t length = 0;
        Append(entry, length, pattern);
        if (!Append(entry, length, data.cFileName)) {
            SetLastError(kFilenameTooLong);
            ok = false;
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? RemoveDirectoryW(entry) != FALSE
                                                                        : DeleteFolderTree(entry);
        } else {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) _wchmod(entry, _S_IWRITE);
            ok = DeleteFileW(entry) != FALSE;
        }
    } while (ok && FindNextFileW(find, &data));

    const DWORD error = GetLastError();
    FindClose(find);
    if (!ok || error != ERROR_NO_MORE_FILES) {
        SetLastError(error);
        return false;
    }
    return RemoveDirectoryW(folder) != FALSE;
}

}  // namespace brim::platform
