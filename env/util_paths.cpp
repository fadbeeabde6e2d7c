#include <brim/util.h>

#include "framework/files/path_split.h"

#include <cwchar>
#include <string>

namespace {

constexpr std::size_t kDriveCapacity = 3;
constexpr std::size_t kPartCapacity = 256;
constexpr std::size_t kPathCapacity = 260;
constexpr std::size_t kUrlPartCapacity = 260;

void CopyBounded(wchar_t* buffer, std::size_t capacity, const std::wstring& text) {
    const std::size_t n = text.size() < capacity ? text.size() : capacity - 1;
    std::wmemcpy(buffer, text.data(), n);
    buffer[n] = 0;
}

}  // namespace

CStringW CBrimUtil::GetPathInfo(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext) {
    const brim::detail::PathParts parts = brim::detail::SplitPath(path);
    // As the secure splitter does: a part that does not fit refuses the whole
    // path, leaving every buffer empty.
    if (parts.drive.size() >= kDriveCapacity || parts.dir.size() >= kPartCapacity ||
        parts.fname.size() >= kPartCapacity || parts.ext.size() >= kPartCapacity) {
        drive[0] = dir[0] = fname[0] = ext[0] = 0;
        return CStringW();
    }
    CopyBounded(drive, kDriveCapacity, parts.drive);
    CopyBounded(dir, kPartCapacity, parts.dir);
    CopyBounded(fname, kPartCapacity, parts.fname);
    CopyBounded(ext, kPartCapacity, parts.ext);
    const std::wstring rebuilt = brim::detail::MakePath(drive, dir, fname, ext);
    if (rebuilt.size() >= kPathCapacity) return CStringW();
    return CStringW(rebuilt.c_str());
}

CStringW CBrimUtil::GetUrlInfo(const wchar_t* url, unsigned long& serviceType, wchar_t* server, wchar_t* object,
                               unsigned short& port) {
    DWORD service = 0;
    CStringW serverText, objectText;
    WORD portNumber = 0;
    AfxParseURL(url, service, serverText, objectText, portNumber);   // a rejected URL leaves everything empty
    serviceType = service;
    port = portNumber;
    CopyBounded(server, kUrlPartCapacity, serverText.GetString());
    CopyBounded(object, kUrlPartCapacity, objectText.GetString());
    CStringW result = L"http://";
    result += server;
    result += object;
    return result;
}
