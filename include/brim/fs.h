// BrimCommon file system: the folder walk with an extension filter and host
// hooks, recursive folder deletion, the dot-entry test and shell renaming.
#pragma once

#include <brim/foundation.h>

// Walks a folder, or a folder and everything below it, and reports each
// folder to vFoundFolder and each file whose name ends in one of the
// comma-separated extensions to vFoundFile. Hook arguments live only for the
// call. The walk is depth-first, a folder reported before its contents, in
// the order the file system lists entries. A hidden entry is skipped (and a
// hidden folder not entered) unless the hidden switch is non-zero. On POSIX
// a symbolic link is reported as a file and never entered.
//
// The filter is a plain suffix test, case-sensitive: "txt" accepts a.txt and
// notatxt, ".txt" only a.txt; empty tokens are skipped, blanks belong to their
// token, no wildcard is recognised. m_strExt is read at every file, so a hook
// that starts another search on this object changes the running filter.
//
// Nothing is thrown of its own: a folder that cannot be read is skipped. An
// exception from a hook ends the walk and reaches the caller.
class BRIM_API CBrimFileFind {
public:
    CBrimFileFind();
    CBrimFileFind(const CBrimFileFind& other);
    CBrimFileFind& operator=(const CBrimFileFind& other);
    virtual ~CBrimFileFind();

    virtual void vFoundFolder(const wchar_t* path, const wchar_t* name) = 0;
    virtual void vFoundFile(const wchar_t* path, const wchar_t* name, const wchar_t* title) = 0;

    // folder without a trailing separator; recursive: only 1 enters
    // subfolders; hidden: non-zero lets hidden entries through.
    void FindFoldersFiles(const wchar_t* folder, const wchar_t* extensions, int recursive, int hidden);

protected:
    CStringW m_strExt;

private:
    CStringW _MakeSearchWord(CStringW& folder);
    void _FindAllFoldersFilesSubDir(CStringW& folder, int recursive, int hidden);
    int _CheckExt(const CStringW& name);
};

// Static folder and name operations; none throws.
class BRIM_API CBrimFileOperation {
public:
    // Removes the folder with everything in it, depth-first, stopping at the
    // first failure (what was removed stays removed). Non-zero when the folder
    // itself was removed; 0 otherwise, with the last error set. Read-only
    // files go too (Windows makes them writable first). Links to folders are
    // removed as links, never entered; on POSIX a folder given as a symbolic
    // link is refused (0). On Windows paths of 260 characters or more give 0.
    //
    // On POSIX every step is relative to an open folder reached without
    // following a link, so entries swapped for links while it runs cannot lead
    // it outside the folder it was given. Depth is bounded by the process's
    // open-descriptor limit (one per level).
    static int DeleteDirectory(const wchar_t* folder);
    // 1 for exactly "." or "..", else 0 (also for null).
    static int IsDots(const wchar_t* name);
};

class BRIM_API CBrimFileSHOperation {
public:
    // Renames a file or folder; when the new name is taken the item gets a
    // fresh one instead ("name (2).ext", "name (3).ext", ... on POSIX; the
    // shell's own choice on Windows). Reports nothing.
    static void rename(const wchar_t* oldName, const wchar_t* newName);
};
