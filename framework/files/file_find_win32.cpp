// File enumeration on Windows: FindFirstFileW and FindNextFileW.

#include "framework/files/file_find_platform.h"

namespace brim::platform {

struct FindHandle {
    HANDLE find;
    WIN32_FIND_DATAW data;
    bool pending;   // data holds an entry not yet handed out
};

FindHandle* FindOpen(const wchar_t* pattern, std::wstring& root) {
    auto* handle = new FindHandle{};
    handle->find = FindFirstFileExW(pattern, FindExInfoBasic, &handle->data, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
    if (handle->find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        delete handle;
        SetLastError(error);
        return nullptr;
    }
    handle->pending = true;
    // The root is the full path of the pattern up to its last separator.
    const DWORD size = GetFullPathNameW(pattern, 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size != 0 ? GetFullPathNameW(pattern, size, full.data(), nullptr) : 0;
    full.resize(length < size ? length : 0);
    const std::size_t separator = full.find_last_of(L"\\/");
    root = separator == std::wstring::npos ? std::wstring() : full.substr(0, separator);
    return handle;
}

bool FindNextEntry(FindHandle* handle, CStringW& name, DWORD& attributes) {
    if (!handle->pending && !FindNextFileW(handle->find, &handle->data)) return false;
    handle->pending = false;
    name = handle->data.cFileName;
    attributes = handle->data.dwFileAttributes;
    return true;
}

void FindClose(FindHandle* handle) {
    ::FindClose(handle->find);
    delete handle;
}

bool FolderIdentity(const wchar_t* folder, FolderId& id) {
    // Opening a folder needs backup semantics; a folder link is followed.
    const HANDLE file = CreateFileW(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = GetFileInformationByHandle(file, &info);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) {
        SetLastError(error);
        return false;
    }
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace brim::platform
