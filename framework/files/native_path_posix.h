// How a host's wide path becomes a POSIX file name, and back.
//
// A host written for Windows writes "\" between folders, and Windows takes "/"
// as well; here both separate folders too, so "logs\today.log" is the same
// file on both platforms. A drive letter ("C:\data", "C:x") names nothing on
// POSIX: such a path is refused as a drive that does not exist is on Windows
// (path not found), rather than becoming a folder named "C:".
//
// A POSIX name may hold a backslash byte, which no Windows name can. Such a
// name reaches the host with U+F05C in place of each backslash, and U+F05C in
// a host path becomes the backslash byte again, so a name found by a walk
// always leads back to the same entry and never to another one.
#pragma once

#include <brim/framework.h>

#include <cstddef>
#include <string>

namespace brim::platform {

constexpr wchar_t kBackslashInName = 0xF05C;

// The native bytes of a host path. False with last error 3 for a path that
// begins with a drive letter.
bool NativePath(const wchar_t* path, std::size_t n, std::string& native);
bool NativePath(const wchar_t* path, std::string& native);

// A native name (n bytes) as the host sees it.
void NameFromNative(const char* bytes, std::size_t n, CStringW& name);
std::wstring NameFromNative(const char* bytes, std::size_t n);

}  // namespace brim::platform
