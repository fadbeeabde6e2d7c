// POSIX only: case folding that is the same in every process, whatever its
// locale (the Unicode tables of the built-in C.UTF-8 locale).
#pragma once

#include <string>

namespace brim::platform {
std::wstring FoldCase(std::wstring text);
}
