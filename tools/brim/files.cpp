#include "tools/brim/commands.h"

namespace brimtool {

PathKind KindOf(const CStringW& path) {
    if (path.IsEmpty() || path.FindOneOf(L"*?") >= 0) return PathKind::kMissing;
    CFileFind find;
    if (find.FindFile(path)) {
        find.FindNextFile();
        return find.IsDirectory() ? PathKind::kFolder : PathKind::kFile;
    }
    // A root ("/", "C:\") is no entry of a folder; its contents show it is there.
    const wchar_t last = path[path.GetLength() - 1];
    CFileFind inside;
    const bool separated = last == L'/' || last == L'\\';
    return inside.FindFile(path + (separated ? L"*" : L"/*")) ? PathKind::kFolder : PathKind::kMissing;
}

}  // namespace brimtool
