#include <brim/fs.h>

#include "framework/files/file_find_platform.h"

namespace {

// Whether the folder a link leads to is one its own path already passes
// through: entering it would walk the same folders again, without end.
bool LeadsBackUp(const CStringW& path) {
    brim::platform::FolderId target;
    if (!brim::platform::FolderIdentity(path, target)) return false;
    for (int at = path.GetLength() - 1; at >= 0; --at) {
        if (!brim::platform::IsPathSeparator(path.GetAt(at))) continue;
        // A root ("/", "C:\") keeps its separator.
        const bool root = at == 0 || path.GetAt(at - 1) == L':';
        brim::platform::FolderId above;
        if (brim::platform::FolderIdentity(path.Left(root ? at + 1 : at), above) && above == target) return true;
    }
    return false;
}

}  // namespace

CBrimFileFind::CBrimFileFind() = default;

CBrimFileFind::CBrimFileFind(const CBrimFileFind& other) : m_strExt(other.m_strExt) {}

CBrimFileFind& CBrimFileFind::operator=(const CBrimFileFind& other) {
    m_strExt = other.m_strExt;
    return *this;
}

CBrimFileFind::~CBrimFileFind() = default;

void CBrimFileFind::FindFoldersFiles(const wchar_t* folder, const wchar_t* extensions, int recursive, int hidden) {
    m_strExt = extensions;
    CStringW path(folder);
    _FindAllFoldersFilesSubDir(path, recursive, hidden);
}

CStringW CBrimFileFind::_MakeSearchWord(CStringW& folder) {
    return folder + brim::platform::PathSeparator() + L"*.*";
}

void CBrimFileFind::_FindAllFoldersFilesSubDir(CStringW& folder, int recursive, int hidden) {
    CFileFind find;
    if (!find.FindFile(_MakeSearchWord(folder), 0)) return;
    BOOL more;
    do {
        more = find.FindNextFile();
        if (find.IsDots()) continue;
        if (hidden == 0 && find.MatchesMask(FILE_ATTRIBUTE_HIDDEN)) continue;
        if (find.MatchesMask(FILE_ATTRIBUTE_DIRECTORY)) {
            CStringW path = find.GetFilePath();
            vFoundFolder(path, find.GetFileName());
            // A folder link is entered as a folder is, unless it loops.
            if (recursive == 1 && !(find.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT) && LeadsBackUp(path)))
                _FindAllFoldersFilesSubDir(path, 1, hidden);
        } else {
            const CStringW name = find.GetFileName();
            if (_CheckExt(name) == 1) vFoundFile(find.GetFilePath(), name, find.GetFileTitle());
        }
    } while (more);
}

int CBrimFileFind::_CheckExt(const CStringW& name) {
    int position = 0;
    for (CStringW token = m_strExt.Tokenize(L",", position); !token.IsEmpty();
         token = m_strExt.Tokenize(L",", position)) {
        if (name.Right(token.GetLength()).Compare(token) == 0) return 1;
    }
    return 0;
}
