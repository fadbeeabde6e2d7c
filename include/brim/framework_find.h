// BrimCommon: the framework's file finding (CFileFind) as the host sees it.
//
//   CFileFind find;
//   BOOL more = find.FindFile(L"C:\\dir\\*.*");
//   while (more) { more = find.FindNextFile(); use(find.GetFilePath()); }
//
// FindFile starts an enumeration; each FindNextFile makes the next entry
// current and returns whether another one follows, so the last entry is
// current after a FALSE. "." and ".." are enumerated like other entries
// (IsDots tells them apart).
//
// Attributes are Windows' FILE_ATTRIBUTE_ values. On POSIX an entry has:
// directory (0x10) for a folder, hidden (0x2) when its name begins with ".",
// reparse point (0x400) for a symbolic link, which is never a directory here
// whatever it points to, and normal (0x80) when it has none of these.
#pragma once

#include <brim/framework.h>

#if !defined(_WIN32)
#  define FILE_ATTRIBUTE_READONLY 0x00000001u
#  define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#  define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#  define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#  define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#  define FILE_ATTRIBUTE_NORMAL 0x00000080u
#  define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#endif

namespace brim::platform {
struct FindHandle;
}

class BRIM_API CFileFind : public CObject {
    DECLARE_DYNAMIC(CFileFind)
public:
    CFileFind();
    ~CFileFind() override;

    // name: a folder, a separator and a wildcard pattern (* and ?; "*.*"
    // matches every name); null means "*.*" in the current folder. FALSE
    // with the last error set when the folder cannot be enumerated or nothing
    // matches (2 ERROR_FILE_NOT_FOUND). The unused argument is the
    // framework's and is ignored.
    virtual BOOL FindFile(const wchar_t* name = nullptr, DWORD unused = 0);
#if defined(_WIN32)
    // <windows.h> maps FindNextFile to FindNextFileW or FindNextFileA.
    virtual BOOL FindNextFileW();
    BOOL FindNextFileA() { return FindNextFileW(); }
#else
    virtual BOOL FindNextFile();
#endif
    void Close();

    // The current entry. Before the first FindNextFile they are empty/FALSE.
    CStringW GetFileName() const;
    // The searched folder made absolute, a separator and the name.
    CStringW GetFilePath() const;
    // The name up to its last dot (the whole name when it has none).
    CStringW GetFileTitle() const;
    // The searched folder made absolute.
    CStringW GetRoot() const;

    BOOL MatchesMask(DWORD mask) const;
    BOOL IsDots() const;
    BOOL IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
    BOOL IsHidden() const { return MatchesMask(FILE_ATTRIBUTE_HIDDEN); }

private:
    brim::platform::FindHandle* m_pHandle;
    CStringW m_strRoot;
    CStringW m_strName;        // current entry
    DWORD m_dwAttributes;
    CStringW m_strNextName;    // the entry the next FindNextFile makes current
    DWORD m_dwNextAttributes;
    bool m_bHaveNext;
};
