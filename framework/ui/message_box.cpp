#include <brim/framework.h>

#include "framework/ui/message_box.h"

#include <atomic>

namespace {
std::atomic<BrimMessageBoxHandler> g_handler{nullptr};
}

BrimMessageBoxHandler BrimSetMessageBoxHandler(BrimMessageBoxHandler handler) { return g_handler.exchange(handler); }

int AfxMessageBox(const wchar_t* text, UINT type, UINT /*helpId*/) {
    if (text == nullptr) text = L"";
    if (BrimMessageBoxHandler handler = g_handler.load()) return handler(text, type);
    return brim::platform::ShowMessageBox(text, type);
}
