// The test program's version resource (POSIX); test_version.rc holds the same for Windows.
#include "tests/support/suite.h"

BRIM_RESOURCE_VERSION(BRIM_VERSION_TRANSLATION(0x0412, 0x04B0),
                      BRIM_VERSION_STRING(L"041204B0", L"FileVersion", L"2, 1, 0, 7"),
                      BRIM_VERSION_STRING(L"041204B0", L"CompanyName", L" A, B Ltd "));
