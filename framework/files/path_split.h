// Splitting and building paths the way the runtime library's path splitter
// and builder do. Both "\" and "/" separate and a letter with a colon is a
// drive on every platform, so a Windows host's path gives the same parts
// everywhere; only the separator a path is built with is the platform's.
#pragma once

#include <string>

namespace brim::detail {

struct PathParts {
    std::wstring drive;   // "C:"
    std::wstring dir;     // up to and including the last separator
    std::wstring fname;   // before the last dot of the name
    std::wstring ext;     // from the last dot of the name
};

PathParts SplitPath(const wchar_t* path);
// The drive's first character and a colon, the directory with a separator
// added when it lacks one, the name, the extension with a dot added when it
// lacks one; empty parts are left out. Null parts count as empty.
std::wstring MakePath(const wchar_t* drive, const wchar_t* dir, const wchar_t* fname, const wchar_t* ext);

}  // namespace brim::detail

namespace brim::platform {
bool IsPathSeparator(wchar_t c);   // "\" or "/"
wchar_t PathSeparator();           // the one paths are built with
}  // namespace brim::platform
