#include "tools/brim/console.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace brimtool {
namespace {
// UTF-8 for the terminal, through the library's converter. Pieces of 8000
// characters stay within the converter's 32767-byte capacity.
void Write(std::FILE* stream, const CStringW& text) {
    constexpr int kPiece = 8000;
    std::vector<char> bytes(32767);
    for (int at = 0; at < text.GetLength(); at += kPiece) {
        const CStringW piece = text.Mid(at, kPiece);
        const int n = CBrimString::Unicode2UTF8(bytes.data(), piece);
        std::fwrite(bytes.data(), 1, static_cast<std::size_t>(n - 1), stream);
    }
    std::fflush(stream);
}
}  // namespace

void Out(const CStringW& text) { Write(stdout, text); }
void Err(const CStringW& text) { Write(stderr, text); }

bool OutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

CStringW Environment(const wchar_t* name) {
    std::vector<char> key(1024);
    CBrimString::Unicode2UTF8(key.data(), CStringW(name).Left(200));
    const char* value = std::getenv(key.data());
    return value == nullptr ? CStringW() : FromUtf8(value);
}

CStringW ReadPassword(const CStringW& prompt) {
    if (!isatty(STDIN_FILENO)) return CStringW();
    Err(prompt);
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    std::string line;
    for (int c; (c = std::getchar()) != EOF && c != '\n';) line += static_cast<char>(c);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    Err(L"\n");
    return FromUtf8(line.c_str());
}

}  // namespace brimtool

int main(int argc, char** argv) {
    std::vector<CStringW> args;
    // Terminals and shells hand over UTF-8 here, whatever the ANSI code page.
    for (int i = 1; i < argc; ++i) args.push_back(brimtool::FromUtf8(argv[i]));
    return brimtool::Run(args);
}
