#include "framework/ui/message_box.h"

namespace brim::platform {

int ShowMessageBox(const wchar_t* text, UINT type) {
    wchar_t title[MAX_PATH] = L"";
    wchar_t path[MAX_PATH];
    // The framework titles the box with the application's name: the executable's base name.
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        const wchar_t* base = path;
        for (const wchar_t* p = path; *p != 0; ++p) {
            if (*p == L'\\' || *p == L'/') base = p + 1;
        }
        int k = 0;
        for (; base[k] != 0 && base[k] != L'.' && k < MAX_PATH - 1; ++k) title[k] = base[k];
        title[k] = 0;
    }
    return ::MessageBoxW(nullptr, text, title, type);
}

}  // namespace brim::platform
