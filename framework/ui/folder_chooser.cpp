#include "framework/ui/folder_chooser.h"

#include <brim/framework.h>

#include <atomic>

namespace {
std::atomic<BrimFolderChooserHandler> g_handler{nullptr};
}

BrimFolderChooserHandler BrimSetFolderChooserHandler(BrimFolderChooserHandler handler) {
    return g_handler.exchange(handler);
}

namespace brim::detail {

int ChooseFolder(HWND owner, const wchar_t* title, wchar_t* folder, UINT capacity) {
    folder[0] = 0;
    const BrimFolderChooserHandler handler = g_handler.load();
    const int chosen = handler != nullptr ? handler(owner, title, folder, capacity)
                                          : platform::ShowFolderChooser(owner, title, folder, capacity);
    folder[capacity - 1] = 0;   // a handler that filled the buffer to its end is cut, not overrun
    return chosen;
}

}  // namespace brim::detail
