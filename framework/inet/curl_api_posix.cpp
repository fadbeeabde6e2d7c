#include "framework/inet/curl_api_posix.h"

#include "framework/system/shared_library_posix.h"

#include <iterator>
#include <mutex>

// The file name the dynamic loader knows libcurl by; the build may name another.
#ifndef BRIM_CURL_SONAME
#define BRIM_CURL_SONAME "libcurl.so.4"
#endif

namespace brim::detail {
namespace {
const CurlApi* g_loaded = nullptr;

// Undone when the library is unloaded, as curl asks, if it was ever set up.
__attribute__((destructor)) void CurlGlobalCleanup() {
    if (g_loaded != nullptr) g_loaded->global_cleanup();
}
}  // namespace

bool OpenCurl(const char* fileName, CurlApi& api) {
    static const char* const kNames[] = {
#define BRIM_CURL_NAME(name) "curl_" #name,
        BRIM_CURL_FUNCTIONS(BRIM_CURL_NAME)
#undef BRIM_CURL_NAME
    };
    void* found[std::size(kNames)];
    if (!platform::OpenLibrary(fileName, kNames, found, std::size(kNames))) return false;
    std::size_t i = 0;
#define BRIM_CURL_TAKE(name) api.name = reinterpret_cast<decltype(api.name)>(found[i++]);
    BRIM_CURL_FUNCTIONS(BRIM_CURL_TAKE)
#undef BRIM_CURL_TAKE
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
