#include <brim/fs.h>

#include "framework/shell/fs_platform.h"

#include <cwchar>

int CBrimFileOperation::DeleteDirectory(const wchar_t* folder) {
    if (folder == nullptr) {
        SetLastError(87);
        return 0;
    }
    return brim::platform::DeleteFolderTree(folder) ? 1 : 0;
}

int CBrimFileOperation::IsDots(const wchar_t* name) {
    if (name == nullptr) return 0;
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0 ? 1 : 0;
}

void CBrimFileSHOperation::rename(const wchar_t* oldName, const wchar_t* newName) {
    if (oldName == nullptr || newName == nullptr) return;
    brim::platform::ShellRename(oldName, newName);
}
