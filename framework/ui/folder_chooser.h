// The folder chooser: the host's handler when one is installed, else the
// platform's dialog.
#pragma once

#include <brim/config.h>

namespace brim::platform {
// The platform's dialog; folder has capacity characters (capacity > 0).
// Nonzero when a folder was chosen.
int ShowFolderChooser(HWND owner, const wchar_t* title, wchar_t* folder, UINT capacity);
}  // namespace brim::platform

namespace brim::detail {
// Always leaves folder terminated within its capacity.
int ChooseFolder(HWND owner, const wchar_t* title, wchar_t* folder, UINT capacity);
}  // namespace brim::detail
