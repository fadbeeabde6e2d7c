// Loading another module to read its resources, per platform.
#pragma once

#include <brim/brim.h>

namespace brimtool {

// The module of a program or library file, loaded for its resources only
// where the platform allows it; null with the reason in error.
HINSTANCE LoadResourceModule(const CStringW& path, CStringW& error);

}  // namespace brimtool
