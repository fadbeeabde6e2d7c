#include <brim/framework.h>

#include "framework/resources/module.h"

#include <atomic>

namespace {
// Null until the host sets one: the executable's module is found on demand,
// since static initialisation may come before the platform can tell it.
std::atomic<HINSTANCE> g_resourceModule{nullptr};
}  // namespace

HINSTANCE AfxGetInstanceHandle() { return brim::platform::ExecutableModule(); }

HINSTANCE AfxGetResourceHandle() {
    const HINSTANCE module = g_resourceModule.load();
    return module != nullptr ? module : brim::platform::ExecutableModule();
}

void AfxSetResourceHandle(HINSTANCE module) { g_resourceModule.store(module); }
