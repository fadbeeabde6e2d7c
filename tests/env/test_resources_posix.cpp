// The test program's resources (POSIX); test_resources.rc holds the same for Windows.
#include "tests/support/suite.h"

namespace {
const unsigned char kBlob[] = {'A', 'B', 0, '\r', '\n', 'C', 'D'};
}

BRIM_RESOURCE_DATA(L"BLOB", kBlob, sizeof kBlob);
BRIM_RESOURCE_DATA(L"EMPTY", nullptr, 0);
BRIM_RESOURCE_STRING(101, L"Count: %d items");
BRIM_RESOURCE_STRING(102, L"Plain text");
