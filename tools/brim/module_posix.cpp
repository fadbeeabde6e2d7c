#include "tools/brim/module.h"

#include <dlfcn.h>
#include <link.h>

#include <vector>

namespace brimtool {

HINSTANCE LoadResourceModule(const CStringW& path, CStringW& error) {
    // A shared library registers its embedded resources when it is loaded,
    // under its base address: so it has to be loaded for real.
    std::vector<char> name(32767);
    CBrimString::Unicode2UTF8(name.data(), path);
    void* library = dlopen(name.data(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        error = path + L": " + CStringW(dlerror());
        return nullptr;
    }
    struct link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        error = path + L": no module information";
        return nullptr;
    }
    return reinterpret_cast<HINSTANCE>(map->l_addr);
}

}  // namespace brimtool
