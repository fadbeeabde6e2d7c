// The message tables of the platform (FormatMessageW's system and module
// tables). One implementation per platform (messages_posix.cpp,
// messages_win32.cpp).
#pragma once

#include <brim/config.h>

#include <string>

namespace brim::platform {

enum class MessageSource { System, Internet, NetworkManagement, MessageQueuing };

// The text of code in the given table, exactly as the table holds it; false
// when the table is not available in this process or lacks the code.
bool FormatMessageText(MessageSource source, DWORD code, std::wstring& text);

// Loads the internet layer (on Windows, wininet.dll), which makes its message
// table available. The network classes call it before their first use.
void LoadInternetLayer();

}  // namespace brim::platform
