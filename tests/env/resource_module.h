// Loads the test library with resources of its own; its module handle, as
// the library's calls take it.
#pragma once

#include <brim/brim.h>

namespace brimtest {
HINSTANCE LoadResourceModule();
}
