#include "tools/brim/console.h"

#include <cstdio>
#include <string>

namespace brimtool {
namespace {
// UTF-8 for the terminal; a malformed wide value is written as U+FFFD.
std::string Utf8(const CStringW& text) {
    std::string out;
    for (int i = 0; i < text.GetLength(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void Write(std::FILE* stream, const CStringW& text) {
    const std::string bytes = Utf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
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
