// Message tables on POSIX: the library's own tables of the Windows texts.
// The internet table counts as loaded once the process has used the network
// layer; the network-management and message-queuing tables do not exist here.

#include "framework/errors/messages.h"

#include "framework/errors/message_tables.h"

#include <atomic>

namespace brim::platform {
namespace {
std::atomic<bool> g_internetLoaded{false};
}

void LoadInternetLayer() { g_internetLoaded.store(true, std::memory_order_release); }

bool FormatMessageText(MessageSource source, DWORD code, std::wstring& text) {
    const wchar_t* found = nullptr;
    switch (source) {
    case MessageSource::System:
        found = FindMessage(kSystemMessages, kSystemMessageCount, code);
        break;
    case MessageSource::Internet:
        if (g_internetLoaded.load(std::memory_order_acquire)) {
            found = FindMessage(kInternetMessages, kInternetMessageCount, code);
        }
        break;
    case MessageSource::NetworkManagement:
    case MessageSource::MessageQueuing:
        break;
    }
    if (found == nullptr) return false;
    text = found;
    return true;
}

}  // namespace brim::platform
