// POSIX only: a library the process loads when it first needs it instead of
// at start-up (libcurl for HTTP, SQLite for the registry), with the functions
// it is used through.
#pragma once

#include <cstddef>

namespace brim::platform {

// Opens the library of that file name (kept local: its names do not join
// the process's global scope) and looks up count functions by name into
// slots. false, with the library closed again, when it cannot be opened or
// lacks one of them.
bool OpenLibrary(const char* fileName, const char* const* names, void** slots, std::size_t count);

}  // namespace brim::platform
