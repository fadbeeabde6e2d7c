// Renaming through the shell, which picks a fresh name on collision.

#include "framework/shell/fs_platform.h"

#include <shellapi.h>

#include <string>

namespace brim::platform {

void ShellRename(const wchar_t* oldName, const wchar_t* newName) {
    // The shell takes lists of names: each name ends in a zero, the list in
    // a second one (std::wstring adds it after the one pushed here).
    std::wstring from(oldName);
    from.push_back(L'\0');
    std::wstring to(newName);
    to.push_back(L'\0');

    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_RENAME;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = FOF_MULTIDESTFILES | FOF_RENAMEONCOLLISION | FOF_WANTMAPPINGHANDLE;   // 0x29
    operation.fAnyOperationsAborted = FALSE;
    operation.hNameMappings = nullptr;
    operation.lpszProgressTitle = nullptr;
    SHFileOperationW(&operation);
    // Asked for, never read: give it back.
    if (operation.hNameMappings != nullptr) SHFreeNameMappings(operation.hNameMappings);
}

}  // namespace brim::platform
