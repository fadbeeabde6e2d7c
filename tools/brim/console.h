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

// The value of an environment variable, "" when unset.
CStringW Environment(const wchar_t* name);

// The program proper, with the arguments after the program name.
int Run(const std::vector<CStringW>& args);

}  // namespace brimtool
