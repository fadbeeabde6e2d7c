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

bool OutIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

CStringW Environment(const wchar_t* name) {
    wchar_t value[32767];
    const DWORD n = ::GetEnvironmentVariableW(name, value, 32767);
    return (n == 0 || n >= 32767) ? CStringW() : CStringW(value, static_cast<int>(n));
}

CStringW TextOfInput(const char* bytes) { return FromUtf8(bytes); }

CStringW ReadPassword(const CStringW& prompt) {
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(in, &mode)) return CStringW();
    Err(prompt);
    ::SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    wchar_t buffer[1024];
    DWORD read = 0;
    ::ReadConsoleW(in, buffer, 1023, &read, nullptr);
    ::SetConsoleMode(in, mode);
    Err(L"\n");
    CStringW line(buffer, static_cast<int>(read));
    line.TrimRight(L"\r\n");
    return line;
}

PathKind KindOf(const CStringW& path) {
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::Regular;
}


// Written out through the console's own conversion, which costs more than
// waiting on memory: no hint here.
void PrefetchText(const wchar_t*) {}

OutBuffer::OutBuffer() = default;
OutBuffer::~OutBuffer() { Flush(); }

void OutBuffer::Add(const wchar_t* text) {
    m_text += text;
    if (m_text.GetLength() >= 32768) Flush();
}

void OutBuffer::Flush() {
    if (m_text.IsEmpty()) return;
    Out(m_text);
    m_text.Empty();
}

}  // namespace brimtool

int wmain(int argc, wchar_t** argv) {
    std::vector<CStringW> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return brimtool::Run(args);
}
