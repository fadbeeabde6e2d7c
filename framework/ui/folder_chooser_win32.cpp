#include "framework/ui/folder_chooser.h"

#include <shlobj.h>

namespace brim::platform {

// The display name and the path are written into folder, which the shell
// takes to hold at least MAX_PATH characters.
int ShowFolderChooser(HWND owner, const wchar_t* title, wchar_t* folder, UINT capacity) {
    if (capacity < MAX_PATH) return 0;
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = folder;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE item = ::SHBrowseForFolderW(&info);
    if (item == nullptr) return 0;
    // An item without a file-system path keeps its display name in folder.
    ::SHGetPathFromIDListW(item, folder);
    ::CoTaskMemFree(item);
    return 1;
}

}  // namespace brim::platform
