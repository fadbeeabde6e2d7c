// BrimCommon: what the loaded library is, for a host's "about" or "--version".
#pragma once

#include <brim/framework.h>

class BRIM_API CBrimLibraryInfo {
public:
    // The library's version, "MAJOR.MINOR.PATCH".
    static CStringW GetVersion();
    // The platform layer it was built on: "posix" or "win32".
    static CStringW GetBackend();
    // The vector instructions its hot loops take on this processor, one
    // "<loop> <set>" entry per loop, separated by ", " (for example
    // "UTF-8 conversion AVX2, encoding probers AVX-512"); the set is
    // "portable" where a loop runs without (the 256- and 512-bit paths are
    // built for x86-64 outside Windows only).
    static CStringW GetVectorPaths();
};
