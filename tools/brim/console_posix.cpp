#include "tools/brim/console.h"

#include <cstdio>
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

}  // namespace brimtool

int main(int argc, char** argv) {
    std::vector<CStringW> args;
    // Arguments arrive as the locale's bytes; the library converts them from
    // the ANSI code page, which it derives from the same locale.
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return brimtool::Run(args);
}
