// BrimCommon system and process information.
#pragma once

#include <brim/foundation.h>

class BRIM_API CBrimInfoSystem {
public:
    // Appends one root per drive after what the list holds: "C:\" on
    // Windows; on POSIX the mount points of real file systems, each ending
    // in "/", "/" first.
    static void GetLogicalDrives(CStringList* list);
    // The root of the drive holding the system folder ("C:\"; "/" on POSIX).
    // Throws CBrimException* when it cannot be told.
    static CStringW GetSystemDrive();
    // 1, 2, 3 for browser versions 7, 8, 9 (from the registry value
    // HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Version);
    // 0 for anything else or no value.
    static unsigned long GetIEVer();
    // The value of TEMP ("%TEMP%" when it is not set); empty when it is
    // longer than 246 characters.
    static CStringW GetTempDirectory();
};

class BRIM_API CBrimInfoMachine {
public:
    // The serial number of the volume at root (null: the system drive); on
    // POSIX the file system's id folded to 32 bits. Throws CBrimException*
    // for a root that is not there.
    static unsigned long GenerateHDDID(const wchar_t* root = nullptr);
};

class BRIM_API CBrimInfoModule {
public:
    // A string of the module's version resource (null: the resource module)
    // with leading and trailing white space trimmed, "," turned into "." and
    // blanks removed; empty when there is none. Keys longer than 230
    // characters give an empty string.
    static CStringW GetVersionInfo(HINSTANCE module, const wchar_t* key);
    // How many running processes have exactly this executable name.
    static int Process32Count(const wchar_t* exeName);
    // The executable's drive and folder, ending in a separator; empty when
    // the folder is 256 characters or longer.
    static CStringW GetCurrentPath();
    // Working set and private committed bytes; unchanged on failure.
    static void GetVMemoryUsage(unsigned long long* workingSet, unsigned long long* pagefileUsage);
    // The application object's name; empty without one.
    static CStringW GetAppName();
};
