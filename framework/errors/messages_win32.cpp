#include "framework/errors/messages.h"

namespace brim::platform {
namespace {
constexpr DWORD kUserDefaultLanguage = 0x0400;   // neutral language, default sub-language

// The module whose table holds a code, or null when it is not in the process.
// Only the message-queuing module is loaded on demand (and stays loaded);
// the other two must already be there.
HMODULE ModuleFor(MessageSource source) {
    switch (source) {
    case MessageSource::MessageQueuing: return ::LoadLibraryW(L"mqutil.dll");
    case MessageSource::Internet: return ::GetModuleHandleW(L"WinINet.dll");
    case MessageSource::NetworkManagement: return ::GetModuleHandleW(L"netmsg.dll");
    case MessageSource::System: break;
    }
    return nullptr;
}
}  // namespace

void LoadInternetLayer() { ::LoadLibraryW(L"wininet.dll"); }

bool FormatMessageText(MessageSource source, DWORD code, std::wstring& text) {
    wchar_t* buffer = nullptr;
    DWORD n = 0;
    if (source == MessageSource::System) {
        n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                             nullptr, code, kUserDefaultLanguage, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    } else {
        HMODULE module = ModuleFor(source);
        if (module == nullptr) return false;
        n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_HMODULE,
                             module, code, kUserDefaultLanguage, reinterpret_cast<LPWSTR>(&buffer), 256, nullptr);
    }
    if (n != 0 && buffer != nullptr) text.assign(buffer, n);
    ::LocalFree(buffer);
    return n != 0;
}

}  // namespace brim::platform
