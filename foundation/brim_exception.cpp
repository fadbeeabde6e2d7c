#include <brim/foundation.h>

#include "framework/strings/wformat.h"

namespace {
constexpr wchar_t kPrefix[] = L"BrimException : ";
constexpr std::size_t kFormatCapacity = 1024;   // 1023 characters and the terminator
}  // namespace

CBrimException::CBrimException() = default;

CBrimException::CBrimException(const wchar_t* format, ...) {
    wchar_t buffer[kFormatCapacity];
    va_list args;
    va_start(args, format);
    brim::detail::FormatBoundedV(buffer, kFormatCapacity, format, args);
    va_end(args);
    m_strMessage = kPrefix;
    m_strMessage += buffer;
}

CBrimException::CBrimException(const unsigned long& errorCode) {
    m_strMessage = kPrefix;
    m_strMessage += CBrimUtil::MessageError(errorCode);
}

CBrimException::~CBrimException() = default;
