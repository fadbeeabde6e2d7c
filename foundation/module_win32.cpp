// Loading and unloading on Windows: the library starts the socket layer when
// it is loaded (a failure fails the load) and stops it when it is unloaded.

#include "foundation/module_win32.h"

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
