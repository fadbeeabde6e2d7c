// The console side of brim: arguments in, text out, per platform.
#pragma once

#include <brim/brim.h>

#include <string>
#include <vector>

namespace brimtool {

// Writes wide text to standard output or standard error, in the console's
// encoding (UTF-8 on POSIX, the console's own on Windows).
void Out(const CStringW& text);
void Err(const CStringW& text);

// Whether standard output is a terminal (progress bars) or not (plain lines).
bool OutIsTerminal();

// Reads a password from the terminal without echoing it; "" when there is no
// terminal to ask.
CStringW ReadPassword(const CStringW& prompt);

// UTF-8 bytes (terminated) as wide text, through the library.
CStringW FromUtf8(const char* bytes);

// Text read from a pipe or file (terminated), UTF-8 as a rule. On POSIX a byte
// that is not UTF-8 is kept as names keep it, and written back as that byte:
// a command that passes lines through never changes their bytes.
CStringW TextOfInput(const char* bytes);

// The value of an environment variable, "" when unset.
CStringW Environment(const wchar_t* name);

// What a path names, for the commands that read regular files only (a FIFO
// without a writer would block them for ever). Missing: it cannot be looked
// at; opening it tells why.
enum class PathKind { Regular, Folder, Other, Missing };
PathKind KindOf(const CStringW& path);

// Standard output for commands that print many lines: text gathered and
// written in large pieces (UTF-8 on POSIX), nothing allocated per line.
class OutBuffer {
public:
    OutBuffer();
    ~OutBuffer();
    OutBuffer(const OutBuffer&) = delete;
    OutBuffer& operator=(const OutBuffer&) = delete;
    void Add(const wchar_t* text);
    void Flush();

private:
    std::string m_bytes;
    std::size_t m_used = 0;
    CStringW m_text;
};

// Asks for the memory around a string's text to be brought into the cache:
// a long list visited in an order unrelated to where its strings live waits
// on memory at every string otherwise. A hint; it may do nothing.
void PrefetchText(const wchar_t* text);

// The program proper, with the arguments after the program name.
int Run(const std::vector<CStringW>& args);

}  // namespace brimtool
