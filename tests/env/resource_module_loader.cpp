#include "tests/env/resource_module.h"

#if !defined(_WIN32)
#  include <dlfcn.h>
#endif

namespace brimtest {

HINSTANCE LoadResourceModule() {
#if defined(_WIN32)
    return ::LoadLibraryW(BRIM_TEST_RESOURCE_MODULE);
#else
    void* library = dlopen(BRIM_TEST_RESOURCE_MODULE, RTLD_NOW);
    if (library == nullptr) return nullptr;
    Dl_info info{};
    void* anchor = dlsym(library, "brim_test_module_anchor");
    return anchor != nullptr && dladdr(anchor, &info) != 0 ? static_cast<HINSTANCE>(info.dli_fbase) : nullptr;
#endif
}

}  // namespace brimtest
