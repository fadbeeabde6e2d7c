#include "framework/files/file_platform.h"

#include "framework/errors/error_codes.h"

#include <brim/framework.h>

namespace brim::platform {

HANDLE FileOpen(const wchar_t* name, UINT openFlags) {
    DWORD access = 0;
    switch (openFlags & 0x3) {
    case CFile::modeRead: access = GENERIC_READ; break;
    case CFile::modeWrite: access = GENERIC_WRITE; break;
    case CFile::modeReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    default: ::SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    DWORD share = 0;   // exclusive, also without a share flag
    switch (openFlags & 0x70) {
    case CFile::shareDenyWrite: share = FILE_SHARE_READ; break;
    case CFile::shareDenyRead: share = FILE_SHARE_WRITE; break;
    case CFile::shareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: break;
    }
    DWORD disposition = OPEN_EXISTING;
    if (openFlags & CFile::modeCreate) disposition = (openFlags & CFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, (openFlags & CFile::modeNoInherit) ? FALSE : TRUE};
    return ::CreateFileW(name, access, share, &sa, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool FileRead(HANDLE file, void* buffer, UINT count, UINT* done) {
    DWORD n = 0;
    const BOOL ok = ::ReadFile(file, buffer, count, &n, nullptr);
    *done = n;
    return ok != FALSE || ::GetLastError() == ERROR_BROKEN_PIPE;
}

bool FileWrite(HANDLE file, const void* buffer, UINT count) {
    DWORD n = 0;
    if (!::WriteFile(file, buffer, count, &n, nullptr)) return false;
    if (n != count) {
        ::SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

bool FileSeek(HANDLE file, LONGLONG offset, UINT from, ULONGLONG* position) {
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    if (!::SetFilePointerEx(file, distance, &result, from)) return false;
    *position = static_cast<ULONGLONG>(result.QuadPart);
    return true;
}

bool FileLength(HANDLE file, ULONGLONG* length) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size)) return false;
    *length = static_cast<ULONGLONG>(size.QuadPart);
    return true;
}

bool FileSetLength(HANDLE file, ULONGLONG length) {
    LARGE_INTEGER at, keep, here;
    at.QuadPart = 0;
    if (!::SetFilePointerEx(file, at, &keep, FILE_CURRENT)) return false;
    at.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(file, at, &here, FILE_BEGIN) || !::SetEndOfFile(file)) return false;
    return ::SetFilePointerEx(file, keep, &here, FILE_BEGIN) != FALSE;
}

bool FileFlush(HANDLE file) { return ::FlushFileBuffers(file) != FALSE; }

bool FileClose(HANDLE file) { return ::CloseHandle(file) != FALSE; }

bool FileRemove(const wchar_t* name) { return ::DeleteFileW(name) != FALSE; }

bool FileRename(const wchar_t* oldName, const wchar_t* newName) { return ::MoveFileW(oldName, newName) != FALSE; }

}  // namespace brim::platform

namespace brim::platform {

bool FolderCreate(const wchar_t* name) { return ::CreateDirectoryW(name, nullptr) != FALSE; }

}  // namespace brim::platform
