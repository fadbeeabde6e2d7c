// Windows only: the library's own module handle, known from DllMain.
#pragma once

#include <brim/config.h>

namespace brim::platform {
HMODULE LibraryModule();
}
