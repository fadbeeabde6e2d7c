#include "tools/brim/console.h"
#include "tools/brim/file_mapping.h"

#include <sys/stat.h>
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

PathKind KindOf(const CStringW& path) {
    struct stat st {};
    if (stat(NativePath(path).c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISREG(st.st_mode)) return PathKind::Regular;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
}

namespace {
constexpr std::size_t kOutPiece = 1 << 16;

// One character as UTF-8 into out (room for 4 bytes); the byte count.
// U+DC80..U+DCFF is how the library hands over a byte of a file name that is
// not UTF-8: it is written as that byte, so a listed name is the name on disk.
// Other surrogates and values past U+10FFFF, which have no UTF-8 form, become
// U+FFFD.
std::size_t EncodeUtf8(char* out, unsigned long c) {
    if (c < 0x80 || (c >= 0xDC80 && c <= 0xDCFF)) {
        out[0] = static_cast<char>(c < 0x80 ? c : c - 0xDC00);
        return 1;
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    std::size_t n;
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        n = 2;
    } else if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        n = 3;
    } else {
        out[0] = static_cast<char>(0xF0 | (c >> 18));
        out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        n = 4;
    }
    out[n - 1] = static_cast<char>(0x80 | (c & 0x3F));
    return n;
}
}  // namespace

// The allocator's and the string's headers sit just before the text.
void PrefetchText(const wchar_t* text) {
    __builtin_prefetch(reinterpret_cast<const char*>(text) - 32);
    __builtin_prefetch(text);
}

// m_bytes is the whole buffer, filled up to m_used: characters are stored
// through a pointer, ASCII ones without any other work.
OutBuffer::OutBuffer() { m_bytes.resize(kOutPiece + 4); }
OutBuffer::~OutBuffer() { Flush(); }

void OutBuffer::Add(const wchar_t* text) {
    char* const base = m_bytes.data();
    for (; *text != 0; ++text) {
        if (m_used > kOutPiece) Flush();
        const auto c = static_cast<unsigned long>(*text);
        if (c < 0x80) {
            base[m_used++] = static_cast<char>(c);
        } else {
            m_used += EncodeUtf8(base + m_used, c);
        }
    }
}

void OutBuffer::Flush() {
    if (m_used == 0) return;
    std::fwrite(m_bytes.data(), 1, m_used, stdout);
    std::fflush(stdout);
    m_used = 0;
}

}  // namespace brimtool

namespace {
// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool ValidUtf8(const unsigned char* p) {
    while (*p != 0) {
        const unsigned c = *p++;
        if (c < 0x80) continue;
        int more = 0;
        unsigned low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) more = 1;
        else if (c >= 0xE0 && c <= 0xEF) more = 2, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
        else if (c >= 0xF0 && c <= 0xF4) more = 3, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
        else return false;
        for (int k = 0; k < more; ++k, ++p, low = 0x80, high = 0xBF) {
            if (*p < low || *p > high) return false;
        }
    }
    return true;
}

// The argument with its bytes outside printable ASCII as \xHH.
CStringW Escaped(const unsigned char* p) {
    CStringW text;
    for (; *p != 0; ++p) {
        if (*p >= 0x20 && *p < 0x7F) text += static_cast<wchar_t>(*p);
        else text.AppendFormat(L"\\x%02X", *p);
    }
    return text;
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<CStringW> args;
    // Terminals and shells hand over UTF-8 here, whatever the ANSI code page.
    // The library decodes a bad byte as U+FFFD, which could name another,
    // existing file: such an argument is refused rather than guessed at.
    for (int i = 1; i < argc; ++i) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(argv[i]);
        if (!ValidUtf8(bytes)) {
            brimtool::Err(L"brim: argument \"" + Escaped(bytes) +
                          L"\" is not valid UTF-8; brim takes names and texts in UTF-8 only\n");
            return 2;
        }
        args.push_back(brimtool::FromUtf8(argv[i]));
    }
    return brimtool::Run(args);
}
