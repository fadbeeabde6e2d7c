#include "tools/brim/console.h"

#include <cstdio>
#include <string>

namespace brimtool {
namespace {
void Write(DWORD which, std::FILE* stream, const CStringW& text) {
    HANDLE handle = ::GetStdHandle(which);
    DWORD mode = 0;
    DWORD written = 0;
    if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
        ::WriteConsoleW(handle, text.GetString(), static_cast<DWORD>(text.GetLength()), &written, nullptr);
        return;
    }
    // Redirected output is written as UTF-8.
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.GetString(), text.GetLength(), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, text.GetString(), text.GetLength(), bytes.data(), n, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}
}  // namespace

void Out(const CStringW& text) { Write(STD_OUTPUT_HANDLE, stdout, text); }
void Err(const CStringW& text) { Write(STD_ERROR_HANDLE, stderr, text); }

}  // namespace brimtool

int wmain(int argc, wchar_t** argv) {
    std::vector<CStringW> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return brimtool::Run(args);
}
