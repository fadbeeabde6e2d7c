// BrimCommon: resources of a host or extension library on POSIX.
//
// On Windows resources come from the module's .rc file. On POSIX a module
// embeds them with these macros, at namespace scope in any of its source
// files; each registers at static initialisation with the module it is part
// of, so "the executable's resources" and "the resource module" mean there
// what they mean on Windows:
//
//   static const unsigned char kLogo[] = {...};
//   BRIM_RESOURCE_DATA(L"LOGO", kLogo, sizeof kLogo);        // a "DATA" resource
//   BRIM_RESOURCE_STRING(101, L"Copied %d files");           // a string-table entry
//   BRIM_RESOURCE_VERSION(                                   // the version resource
//       BRIM_VERSION_TRANSLATION(0x0409, 0x04B0),
//       BRIM_VERSION_STRING(L"040904B0", L"FileVersion", L"2, 1, 0, 7"));
//
// Names compare without regard to case, as on Windows. Use one macro per line.
#pragma once

#include <brim/config.h>

#if !defined(_WIN32)
#  include <cstddef>

// One embedded resource, made by the macros as a static object of the
// embedding module: the constructor registers it with that module, the
// destructor (when the module is unloaded) takes it back. The data must
// outlive the object. typeId/id 0: the type/name is given as text.
class BRIM_API CResourceEntry {
public:
    CResourceEntry(const wchar_t* type, UINT typeId, const wchar_t* name, UINT id, const void* data, std::size_t size);
    ~CResourceEntry();
    CResourceEntry(const CResourceEntry&) = delete;
    CResourceEntry& operator=(const CResourceEntry&) = delete;
};

// A version resource is the table of the query paths it answers: a string
// (text) or the translation table's first entry (number, text null).
struct BrimVersionValue {
    const wchar_t* path;
    const wchar_t* text;
    DWORD number;
};

#  define BRIM_RESOURCE_JOIN2(a, b) a##b
#  define BRIM_RESOURCE_JOIN(a, b) BRIM_RESOURCE_JOIN2(a, b)
#  define BRIM_RESOURCE_DATA(name, data, size) \
      static const CResourceEntry BRIM_RESOURCE_JOIN(brim_resource_, __LINE__)(L"DATA", 0, name, 0, data, size)
#  define BRIM_RESOURCE_STRING(id, text) \
      static const CResourceEntry BRIM_RESOURCE_JOIN(brim_resource_, __LINE__)(nullptr, 6, nullptr, id, text, 0)
#  define BRIM_VERSION_TRANSLATION(language, codePage) \
      BrimVersionValue { L"\\VarFileInfo\\Translation", nullptr, static_cast<DWORD>(((codePage) << 16) | (language)) }
#  define BRIM_VERSION_STRING(block, key, value) \
      BrimVersionValue { L"\\StringFileInfo\\" block L"\\" key, value, 0 }
#  define BRIM_RESOURCE_VERSION(...)                                                                  \
      static const BrimVersionValue BRIM_RESOURCE_JOIN(brim_version_, __LINE__)[] = {__VA_ARGS__};    \
      static const CResourceEntry BRIM_RESOURCE_JOIN(brim_resource_, __LINE__)(                       \
          nullptr, 16, nullptr, 1, BRIM_RESOURCE_JOIN(brim_version_, __LINE__),                       \
          sizeof BRIM_RESOURCE_JOIN(brim_version_, __LINE__))
#endif
