// BrimCommon environment helpers: registry access and the folder chooser.
// (CBrimUtil's path, URL, resource and string helpers are in util.h.)
#pragma once

#include <brim/foundation.h>

// Settings through the application object (User...) and directly under any
// registry key (Local...). On POSIX the registry is a per-user store
// ($XDG_CONFIG_HOME/brim/registry.db, else ~/.config/brim/registry.db) that
// several processes may use at once.
class BRIM_API CBrimRegistry {
public:
    CBrimRegistry();
    CBrimRegistry(const CBrimRegistry& other);
    CBrimRegistry& operator=(const CBrimRegistry& other);
    ~CBrimRegistry();

    // Must come before the User... calls.
    void SetApp(CWinApp* app);

    CStringW UserReadString(const wchar_t* section, const wchar_t* entry, const wchar_t* defaultValue) const;
    bool UserWriteString(const wchar_t* section, const wchar_t* entry, const wchar_t* value) const;
    int UserReadInt(const wchar_t* section, const wchar_t* entry, const int& defaultValue) const;
    bool UserWriteInt(const wchar_t* section, const wchar_t* entry, const int& value) const;

    // At most 260 bytes of value data (129 characters and the terminator);
    // empty for a longer value, a missing key or value, or any failure.
    static CStringW LocalReadString(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName);
    // Creates the missing keys along subKey; null value stores "".
    static bool LocalWriteString(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName,
                                 const wchar_t* value);
    // 0 when the value exists (of any type or size), else the Windows error
    // code of the look-up: 2 when the key or the value is missing. The
    // readers give the same empty result for a missing and an empty value.
    static DWORD LocalValueStatus(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName);
    // A value of at most 4 bytes; 0 otherwise.
    static int LocalReadInt(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName);
    static bool LocalWriteInt(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName,
                              const unsigned long& value);
    // Deletes subKey with every key below it: 1 when it is gone (also when
    // it was not there: "Key not found.\n" on standard output), 0 otherwise
    // ("Error opening key.\n" when it cannot be opened). The buffer is not
    // written past its terminator; a path given with a trailing backslash
    // that needed deleting below it comes back without that backslash. An
    // empty path (or one of backslashes only) is refused with 0.
    static int LocalDeleteSubKey(HKEY const& root, wchar_t* subKey);

    CWinApp* m_pApp;
};

class BRIM_API CBrimDialog {
public:
    // Lets the user choose a folder (title "경로 선택 :"); empty when cancelled.
    static CStringW GetPath(HWND const& owner);
};
