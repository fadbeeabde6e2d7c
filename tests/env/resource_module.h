// Loads the test library with resources of its own; its module handle, as the library's calls take it.
#pragma once

#include "tests/support/suite.h"

#if !defined(_WIN32)
#  include <dlfcn.h>
#endif

namespace brimtest {

inline HINSTANCE LoadResourceModule() {
#if defined(_WIN32)
    return ::LoadLibraryW(BRIM_TEST_RESOURCE_MODULE);
#else
    void* library = dlopen(BRIM_TEST_RESOURCE_MODULE, RTLD_NOW);
    void* anchor = library != nullptr ? dlsym(library, "brim_test_module_anchor") : nullptr;
    Dl_info info{};
    return anchor != nullptr && dladdr(anchor, &info) != 0 ? static_cast<HINSTANCE>(info.dli_fbase) : nullptr;
#endif
}

}  // namespace brimtest
