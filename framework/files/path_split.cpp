#include "framework/files/path_split.h"

namespace brim::platform {
bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
}  // namespace brim::platform

namespace brim::detail {

PathParts SplitPath(const wchar_t* path) {
    PathParts parts;
    std::wstring rest(path != nullptr ? path : L"");
    if (rest.size() >= 2 && rest[1] == L':') {
        parts.drive = rest.substr(0, 2);
        rest.erase(0, 2);
    }
    std::size_t lastSeparator = std::wstring::npos;
    for (std::size_t k = 0; k < rest.size(); ++k) {
        if (platform::IsPathSeparator(rest[k])) lastSeparator = k;
    }
    if (lastSeparator != std::wstring::npos) {
        parts.dir = rest.substr(0, lastSeparator + 1);
        rest.erase(0, lastSeparator + 1);
    }
    const std::size_t dot = rest.rfind(L'.');
    if (dot != std::wstring::npos) {
        parts.ext = rest.substr(dot);
        rest.resize(dot);
    }
    parts.fname = rest;
    return parts;
}

std::wstring MakePath(const wchar_t* drive, const wchar_t* dir, const wchar_t* fname, const wchar_t* ext) {
    std::wstring path;
    if (drive != nullptr && drive[0] != 0) {
        path += drive[0];
        path += L':';
    }
    if (dir != nullptr && dir[0] != 0) {
        path += dir;
        if (!platform::IsPathSeparator(path.back())) path += platform::PathSeparator();
    }
    if (fname != nullptr) path += fname;
    if (ext != nullptr && ext[0] != 0) {
        if (ext[0] != L'.') path += L'.';
        path += ext;
    }
    return path;
}

}  // namespace brim::detail
