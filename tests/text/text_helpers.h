// Small helpers shared by the text suites.
#pragma once

#include "tests/support/suite.h"

namespace brimtest {

// The message of the exception made from a Windows error code.
inline CStringW CodeText(unsigned long code) {
    CBrimException e(code);
    return e.GetMessageW();
}

// U+1F600 as the platform holds it: a surrogate pair where wchar_t has 16 bits.
inline std::wstring Smiley() {
    return sizeof(wchar_t) == 2 ? std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)} : std::wstring(1, wchar_t(0x1F600));
}

}  // namespace brimtest
