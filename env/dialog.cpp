#include <brim/env.h>

#include "framework/ui/folder_chooser.h"

namespace {
constexpr UINT kFolderCapacity = 1000;
const wchar_t kTitle[] = L"\xACBD\xB85C \xC120\xD0DD :";   // "경로 선택 :"
}  // namespace

CStringW CBrimDialog::GetPath(HWND const& owner) {
    wchar_t folder[kFolderCapacity];
    if (!brim::detail::ChooseFolder(owner, kTitle, folder, kFolderCapacity)) return CStringW();
    return CStringW(folder);
}
