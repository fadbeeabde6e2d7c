// A library with resources of its own (resource_module.rc on Windows, the macros below on POSIX).
#include <brim/brim.h>

#if defined(_WIN32)
#  define ANCHOR_EXPORT __declspec(dllexport)
#else
#  define ANCHOR_EXPORT __attribute__((visibility("default")))
// No translation table: readers fall back to the user's language with code page 04B0.
BRIM_RESOURCE_VERSION(BRIM_VERSION_STRING(L"040904B0", L"FileVersion", L" 9, 8, 7 "));
BRIM_RESOURCE_STRING(301, L"Module string %s");
#endif

extern "C" ANCHOR_EXPORT int brim_test_module_anchor() { return 301; }
