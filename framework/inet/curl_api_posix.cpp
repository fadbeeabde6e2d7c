#include "framework/inet/curl_api_posix.h"

#include <dlfcn.h>

#include <mutex>

// The file name the dynamic loader knows libcurl by; the build may name another.
#ifndef BRIM_CURL_SONAME
#define BRIM_CURL_SONAME "libcurl.so.4"
#endif

namespace brim::detail {
namespace {
template <typename F>
bool Resolve(void* library, const char* name, F& slot) {
    slot = reinterpret_cast<F>(::dlsym(library, name));
    return slot != nullptr;
}

const CurlApi* g_loaded = nullptr;

// Undone when the library is unloaded, as curl asks, if it was ever set up.
__attribute__((destructor)) void CurlGlobalCleanup() {
    if (g_loaded != nullptr) g_loaded->global_cleanup();
}
}  // namespace

bool OpenCurl(const char* fileName, CurlApi& api) {
    // RTLD_LOCAL: curl's names stay out of the process's global scope.
    void* library = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    CurlApi t{};
    bool ok = true;
#define BRIM_CURL_RESOLVE(name) ok = ok && Resolve(library, "curl_" #name, t.name);
    BRIM_CURL_FUNCTIONS(BRIM_CURL_RESOLVE)
#undef BRIM_CURL_RESOLVE
    if (!ok) {
        ::dlclose(library);
        return false;
    }
    api = t;
    return true;
}

const CurlApi* Curl() {
    // curl's global set-up is not thread-safe in every version: once, here,
    // under the once-flag, instead of at load time for every process.
    static std::once_flag once;
    static CurlApi api;
    std::call_once(once, [] {
        if (OpenCurl(BRIM_CURL_SONAME, api) && api.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) g_loaded = &api;
    });
    return g_loaded;
}

}  // namespace brim::detail
