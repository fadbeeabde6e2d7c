// Splits arbitrary paths into caller buffers guarded on both sides. Checks
// that nothing is written past a buffer, that every buffer is terminated,
// and that a path that fits comes back whole from its parts.
#include <brim/brim.h>

#include "framework/files/path_split.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {
constexpr int kGuard = 4;

struct Guarded {
    wchar_t units[kGuard + 256 + kGuard];
    Guarded() { std::wmemset(units, L'#', sizeof units / sizeof units[0]); }
    wchar_t* Buffer() { return units + kGuard; }
    void Check(std::size_t capacity) const {
        for (int k = 0; k < kGuard; ++k) {
            if (units[k] != L'#' || units[kGuard + capacity + static_cast<std::size_t>(k)] != L'#') std::abort();
        }
        if (std::wmemchr(units + kGuard, 0, capacity) == nullptr) std::abort();
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Two bytes a character, so separators, dots, colons and non-ASCII all occur.
    std::wstring path;
    for (std::size_t k = 0; k + 1 < size; k += 2) {
        const wchar_t c = static_cast<wchar_t>(data[k] | (data[k + 1] << 8));
        path.push_back(c == 0 ? L'.' : c);
    }
    Guarded drive, dir, fname, ext;
    const CStringW rebuilt = CBrimUtil::GetPathInfo(path.c_str(), drive.Buffer(), dir.Buffer(), fname.Buffer(),
                                                    ext.Buffer());
    drive.Check(3);
    dir.Check(256);
    fname.Check(256);
    ext.Check(256);
    const brim::detail::PathParts parts = brim::detail::SplitPath(path.c_str());
    if (parts.drive + parts.dir + parts.fname + parts.ext != path) std::abort();
    if (!rebuilt.IsEmpty() && std::wstring(rebuilt.GetString()) != path) std::abort();
    if (rebuilt.IsEmpty() && !path.empty() && path.size() < 256 && parts.dir.size() < 256 - 2) std::abort();
    return 0;
}
