#include <brim/foundation.h>

#include "framework/errors/messages.h"
#include "framework/strings/wformat.h"

#include <cstdint>
#include <string>

namespace {
using brim::platform::MessageSource;

// Which message table answers a code, tested in this order.
MessageSource SourceFor(std::uint32_t code) {
    if ((code & 0x1FFF0000u) == 0x000E0000u) return MessageSource::MessageQueuing;   // facility 14
    if (code >= 12000 && code < 12176) return MessageSource::Internet;
    if (code >= 2100 && code <= 2999) return MessageSource::NetworkManagement;
    return MessageSource::System;
}
}  // namespace

CStringW CBrimUtil::MessageError(const unsigned long& errorCode) {
    // Codes are 32-bit whatever the width of unsigned long.
    const auto code = static_cast<std::uint32_t>(errorCode);
    if (code == 0) return CStringW();
    std::wstring text;
    if (brim::platform::FormatMessageText(SourceFor(code), code, text)) {
        return CStringW(text.data(), static_cast<int>(text.size()));
    }
    CStringW fallback;
    fallback.Format(L"ERRORNUMBER ( %d )\n", static_cast<int>(static_cast<std::int32_t>(code)));
    return fallback;
}
