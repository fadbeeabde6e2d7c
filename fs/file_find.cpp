#include <brim/fs.h>

#include "framework/files/file_find_platform.h"

#include <cstddef>
#include <cwchar>

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

// The list is read in place: a walk asks this for every file, and a token
// or a right part of the name as strings of their own would cost an
// allocation each. A token is a run between commas (empty runs skipped); it
// matches the name's end, compared unit by unit.
int CBrimFileFind::_CheckExt(const CStringW& name) {
    const wchar_t* const list = m_strExt.GetString();
    const std::size_t listLength = static_cast<std::size_t>(m_strExt.GetLength());
    const auto nameLength = static_cast<std::size_t>(name.GetLength());
    for (std::size_t at = 0; at < listLength;) {
        if (list[at] == L',') {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < listLength && list[end] != L',') ++end;
        const std::size_t length = end - at;
        if (length <= nameLength && std::wmemcmp(name.GetString() + (nameLength - length), list + at, length) == 0) return 1;
        at = end;
    }
    return 0;
}
