// Building small trees for the file-system tests.
#pragma once

#include <brim/brim.h>

#include "tests/support/temp_dir.h"

#include <filesystem>
#include <string>

namespace fstest {

namespace fs = std::filesystem;

inline void MakeFile(const fs::path& path, const std::string& bytes = "x") {
    fs::create_directories(path.parent_path());
    brimtest::WriteBytes(path, bytes);
}

// Hidden entries have names beginning with a dot, which is what hides them on
// POSIX; on Windows they get the attribute as well.
inline void MarkHidden(const fs::path& path) {
#if defined(_WIN32)
    SetFileAttributesW(path.wstring().c_str(), GetFileAttributesW(path.wstring().c_str()) | FILE_ATTRIBUTE_HIDDEN);
#else
    (void)path;
#endif
}

#if defined(_WIN32)
constexpr wchar_t kSeparator = L'\\';
#else
constexpr wchar_t kSeparator = L'/';
#endif

inline CStringW Wide(const fs::path& path) { return CStringW(path.wstring().c_str()); }

}  // namespace fstest
