// The platform's own message box, used when the host installed no handler.
// One implementation per platform (message_box_posix.cpp,
// message_box_win32.cpp).
#pragma once

#include <brim/config.h>

namespace brim::platform {

int ShowMessageBox(const wchar_t* text, UINT type);

}  // namespace brim::platform
