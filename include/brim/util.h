// BrimCommon: CBrimUtil, static helpers for hosts.
#pragma once

#include <brim/framework.h>

class BRIM_API CBrimUtil {
public:
    // The system's text for a Windows error code, exactly as its message
    // table holds it (trailing CR LF included); "" for 0; and
    // "ERRORNUMBER ( <code as signed 32-bit> )\n" when no table has it.
    static CStringW MessageError(const unsigned long& errorCode);
};
