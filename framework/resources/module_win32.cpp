// Loading and unloading on Windows: the library starts the socket layer when
// it is loaded (a failure fails the load) and stops it when it is unloaded.

#include "framework/resources/module_win32.h"

#include <winsock2.h>

namespace {
HMODULE g_module = nullptr;
bool g_socketsStarted = false;
}  // namespace

namespace brim::platform {
HMODULE LibraryModule() { return g_module; }
}  // namespace brim::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        g_module = instance;
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return FALSE;
        g_socketsStarted = true;
        break;
    }
    case DLL_PROCESS_DETACH:
        if (g_socketsStarted) ::WSACleanup();
        g_socketsStarted = false;
        break;
    default:
        break;
    }
    return TRUE;
}

#include "framework/resources/module.h"

#include <vector>

namespace brim::platform {

std::wstring ExecutablePath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return std::wstring(path.data(), n);
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

HMODULE ExecutableModule() { return ::GetModuleHandleW(nullptr); }

}  // namespace brim::platform
