// POSIX only: libcurl, opened the first time an HTTP exchange needs it.
// Linking it would load it and its ~30 dependencies (TLS, Kerberos, LDAP, ...)
// into every process that uses the library, for the few that go online;
// opening it on demand keeps start-up at the cost of a table of pointers.
// <curl/curl.h> still gives the types and constants.
#pragma once

#include <curl/curl.h>

namespace brim::detail {

// The curl functions the HTTP layer calls, without their "curl_" prefix.
#define BRIM_CURL_FUNCTIONS(X)                                                                                   \
    X(global_init) X(global_cleanup) X(easy_init) X(easy_cleanup) X(easy_setopt) X(multi_init) X(multi_cleanup) \
    X(multi_add_handle) X(multi_remove_handle) X(multi_perform) X(multi_info_read) X(multi_poll) X(slist_append) \
    X(slist_free_all)

struct CurlApi {
#define BRIM_CURL_SLOT(name) decltype(&::curl_##name) name;
    BRIM_CURL_FUNCTIONS(BRIM_CURL_SLOT)
#undef BRIM_CURL_SLOT
};

// The library's table, set up (and curl's global state initialised) once;
// null when libcurl cannot be opened or lacks one of the functions, and
// then on every later call too.
const CurlApi* Curl();

// Opens the library of that file name and fills api from it, keeping the
// library open; false (nothing kept) on any failure. Nothing is initialised:
// what Curl() builds on, and what a test uses to see a missing library refused.
bool OpenCurl(const char* fileName, CurlApi& api);

}  // namespace brim::detail
