#include "tools/brim/module.h"

#include "tools/brim/console.h"

#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

namespace brimtool {
namespace {

// The loader's text begins with the file name and speaks of its own
// internals; a person wants the reason in the tool's words.
CStringW LoaderProblem(const char* text, const char* name) {
    std::string reason = text != nullptr ? text : "";
    const std::string prefix = std::string(name) + ": ";
    if (reason.compare(0, prefix.size(), prefix) == 0) reason.erase(0, prefix.size());
    if (reason.find("No such file") != std::string::npos) return CBrimUtil::MessageError(2);
    if (reason.find("Permission denied") != std::string::npos) return CBrimUtil::MessageError(5);
    if (reason.find("position-independent executable") != std::string::npos) {
        return L"a program, not a shared library: on this system only a shared library can be loaded to read "
               L"its version resource";
    }
    if (reason.find("invalid ELF header") != std::string::npos || reason.find("file too short") != std::string::npos) {
        return L"not a shared library";
    }
    return L"cannot be loaded (" + CStringW(FromUtf8(reason.c_str())) + L")";
}

}  // namespace

HINSTANCE LoadResourceModule(const CStringW& path, CStringW& error) {
    // A shared library registers its embedded resources when it is loaded,
    // under its base address: so it has to be loaded for real.
    std::vector<char> name(32767);
    // A name without a slash would be looked for on the library path, not here.
    CBrimString::Unicode2UTF8(name.data(), path.Find(L'/') < 0 ? L"./" + path : path);
    void* library = dlopen(name.data(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        error = path + L": " + LoaderProblem(dlerror(), name.data());
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
