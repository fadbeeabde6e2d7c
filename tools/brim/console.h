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

// The program proper, with the arguments after the program name.
int Run(const std::vector<CStringW>& args);

}  // namespace brimtool
