// BrimCommon: the application object, resources, the folder chooser and the
// URL parser of the framework layer.
#pragma once

#include <brim/config.h>

#if defined(_WIN32)
// <windows.h> maps these names to its A or W profile calls; here they are the
// application object's members. The Win32 calls stay reachable by their
// explicit A and W names.
#  undef GetProfileString
#  undef WriteProfileString
#  undef GetProfileInt
#  undef WriteProfileInt
#endif

// ---------------------------------------------------------------------------
// The application object. Its profile functions keep the application's
// settings in one of two places:
//   registry mode (after SetRegistryKey):
//     HKEY_CURRENT_USER\Software\<m_pszRegistryKey>\<m_pszProfileName>\<section>
//   otherwise the profile file m_pszProfileName, an INI file. A relative name
//   is found where the platform keeps profiles: the Windows folder on
//   Windows, $XDG_CONFIG_HOME/brim/ (else ~/.config/brim/) on POSIX.
// The m_psz strings belong to the object; a host may point them at strings of
// its own that outlive it, but must not free the ones the object set.
class BRIM_API CWinApp : public CObject {
    DECLARE_DYNAMIC(CWinApp)
public:
    // appName null: the executable's base name without its extension.
    explicit CWinApp(const wchar_t* appName = nullptr);
    ~CWinApp() override;

    // Switches to registry mode under Software\<company>; the profile name
    // becomes the application's name.
    void SetRegistryKey(const wchar_t* company);
    void SetRegistryKey(UINT companyStringId);
    // Sets the profile name (the INI file in file mode).
    void SetProfileName(const wchar_t* profileName);

    // The stored string, or defaultValue (null: "") when there is none.
    virtual CStringW GetProfileString(const wchar_t* section, const wchar_t* entry,
                                      const wchar_t* defaultValue = nullptr);
    // entry null removes the whole section, value null removes the entry.
    virtual BOOL WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value);
    // Registry mode: a stored 32-bit number, else defaultValue. File mode: the
    // entry read as a decimal integer (0 when it does not start with one),
    // else defaultValue.
    virtual UINT GetProfileInt(const wchar_t* section, const wchar_t* entry, int defaultValue);
    virtual BOOL WriteProfileInt(const wchar_t* section, const wchar_t* entry, int value);

    const wchar_t* m_pszAppName;
    const wchar_t* m_pszExeName;
    const wchar_t* m_pszRegistryKey;   // null in file mode
    const wchar_t* m_pszProfileName;

private:
    // The section's key under the application's key; null when it cannot be
    // opened (or, with create, made).
    HKEY OpenSectionKey(const wchar_t* section, bool create) const;

    CStringW m_strAppName;
    CStringW m_strExeName;
    CStringW m_strRegistryKey;
    CStringW m_strProfileName;
};

// The application object: the first one constructed that is still alive, or
// null.
BRIM_API CWinApp* AfxGetApp();

// Module handles. The executable's module; the module whose resources the
// framework searches first (the executable's unless a host changes it).
// On POSIX a module's handle is its load address (dladdr's dli_fbase), as a
// module handle is on Windows.
BRIM_API HINSTANCE AfxGetInstanceHandle();
BRIM_API HINSTANCE AfxGetResourceHandle();
BRIM_API void AfxSetResourceHandle(HINSTANCE module);

// ---------------------------------------------------------------------------
// The folder chooser. A host may install its own handler (tests do): it gets
// the owner window, the title and a buffer of capacity characters for the
// chosen folder, and returns nonzero when one was chosen. Null restores the
// default: the shell's folder browser on Windows; on POSIX zenity or kdialog
// when a display is present, otherwise the chooser counts as cancelled.
// Returns the previous handler.
typedef int (*BrimFolderChooserHandler)(HWND owner, const wchar_t* title, wchar_t* folder, UINT capacity);
BRIM_API BrimFolderChooserHandler BrimSetFolderChooserHandler(BrimFolderChooserHandler handler);

#include <brim/framework_url.h>
#include <brim/resources.h>
