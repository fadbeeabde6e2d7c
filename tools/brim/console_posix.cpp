#include "tools/brim/console.h"
#include "tools/brim/file_mapping.h"
#include "tools/brim/name_bytes_posix.h"

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace brimtool {
namespace {
// UTF-8 for the terminal, through the library's converter. Pieces of 8000
// characters stay within the converter's 32767-byte capacity. A piece with
// U+FFFD in its result may hold a name's byte, which the converter cannot
// write: brim's own encoder writes that piece.
void Write(std::FILE* stream, const CStringW& text) {
    constexpr int kPiece = 8000;
    std::vector<char> bytes(32767);
    for (int at = 0; at < text.GetLength(); at += kPiece) {
        const CStringW piece = text.Mid(at, kPiece);
        const auto n = static_cast<std::size_t>(CBrimString::Unicode2UTF8(bytes.data(), piece) - 1);
        if (std::string_view(bytes.data(), n).find("\xEF\xBF\xBD") == std::string_view::npos) {
            std::fwrite(bytes.data(), 1, n, stream);
        } else {
            const std::string exact = BytesOfText(piece.GetString(), static_cast<std::size_t>(piece.GetLength()));
            std::fwrite(exact.data(), 1, exact.size(), stream);
        }
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

CStringW TextOfInput(const char* bytes) {
    // The library's decoding is the fast one; a U+FFFD in its result (rare,
    // and perhaps the text's own) sends the text through the careful one.
    CStringW text = FromUtf8(bytes);
    if (text.Find(L'\xFFFD') >= 0) text = TextOfBytes(reinterpret_cast<const unsigned char*>(bytes));
    return text;
}

PathKind KindOf(const CStringW& path) {
    struct stat st {};
    if (stat(NativePath(path).c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISREG(st.st_mode)) return PathKind::Regular;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
}

namespace {
constexpr std::size_t kOutPiece = 1 << 16;
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
            m_used += PutBytes(base + m_used, c);
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

int main(int argc, char** argv) {
    std::vector<CStringW> args;
    // Terminals and shells hand over bytes, UTF-8 as a rule whatever the
    // ANSI code page. A byte that is not (a name of another system's making)
    // is kept as the library keeps it in names, so that it names that file
    // and no other.
    for (int i = 1; i < argc; ++i) args.push_back(brimtool::TextOfBytes(reinterpret_cast<const unsigned char*>(argv[i])));
    return brimtool::Run(args);
}
