#include "tools/brim/module.h"

namespace brimtool {

HINSTANCE LoadResourceModule(const CStringW& path, CStringW& error) {
    // As a data file: nothing of it runs, any program or library can be read.
    HMODULE module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) error = path + L": " + CBrimUtil::MessageError(::GetLastError());
    return module;
}

}  // namespace brimtool
