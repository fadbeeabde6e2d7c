#include "framework/system/shared_library_posix.h"

#include <dlfcn.h>

namespace brim::platform {

bool OpenLibrary(const char* fileName, const char* const* names, void** slots, std::size_t count) {
    void* library = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    for (std::size_t i = 0; i < count; ++i) {
        slots[i] = ::dlsym(library, names[i]);
        if (slots[i] == nullptr) {
            ::dlclose(library);
            return false;
        }
    }
    return true;
}

}  // namespace brim::platform
