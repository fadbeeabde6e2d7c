// The running program's modules and their resources, as the framework layer
// and the Parts use them.
#pragma once

#include <brim/config.h>

#include <string>

namespace brim::platform {

// The full path of the process's executable; empty when it cannot be told.
std::wstring ExecutablePath();
// The executable's module handle.
HMODULE ExecutableModule();

// The bytes of a module's resource of the given type and name (found, loaded
// and locked); false when the module has none.
bool FindResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name, const void** data, DWORD* size);

// The version resource (identifier 1) of a module, or null; read in place.
const void* FindVersionResource(HMODULE module);
// VerQueryValueW on it: a string's text (length in characters) or the
// translation table (length in bytes).
bool VersionQuery(const void* version, const wchar_t* path, const void** value, UINT* length);

}  // namespace brim::platform
