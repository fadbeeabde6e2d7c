// POSIX only: the WinINet code for a curl result, inline so that a test can
// run it over every curl code. A code that depends on where in the exchange
// the failure came is refined by CurlExchange (see Failed there).
#pragma once

#include "framework/inet/inet_errors.h"

#include <curl/curl.h>

namespace brim::detail {

inline DWORD CurlErrorToInternet(int code) {
    switch (code) {
    case CURLE_OK: return 0;
    case CURLE_UNSUPPORTED_PROTOCOL: return err::kInternetUnrecognizedScheme;
    case CURLE_URL_MALFORMAT: return err::kInternetInvalidUrl;
    case CURLE_COULDNT_RESOLVE_HOST: case CURLE_COULDNT_RESOLVE_PROXY: return err::kInternetNameNotResolved;
    case CURLE_COULDNT_CONNECT: return err::kInternetCannotConnect;
    case CURLE_OPERATION_TIMEDOUT: return err::kInternetTimeout;
    case CURLE_WEIRD_SERVER_REPLY: case CURLE_GOT_NOTHING: case CURLE_HTTP2: case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3: case CURLE_BAD_CONTENT_ENCODING:
        return err::kHttpInvalidServerResponse;
    case CURLE_TOO_MANY_REDIRECTS: return err::kHttpRedirectFailed;
    case CURLE_SEND_ERROR: case CURLE_RECV_ERROR: return err::kInternetConnectionReset;
    case CURLE_PARTIAL_FILE: return err::kInternetConnectionAborted;
    case CURLE_LOGIN_DENIED: return err::kInternetLoginFailure;
    case CURLE_ABORTED_BY_CALLBACK: return err::kInternetOperationCancelled;
    case CURLE_OUT_OF_MEMORY: return err::kNotEnoughMemory;
    case CURLE_PEER_FAILED_VERIFICATION: return err::kInternetInvalidCa;
    case CURLE_SSL_CONNECT_ERROR: case CURLE_SSL_ENGINE_NOTFOUND: case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM: case CURLE_SSL_CIPHER: case CURLE_SSL_CACERT_BADFILE: case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE: case CURLE_SSL_ISSUER_ERROR: case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS: case CURLE_SSL_CLIENTCERT: case CURLE_USE_SSL_FAILED:
        return err::kInternetSecurityChannelError;
    default: return err::kInternetInternalError;
    }
}

}  // namespace brim::detail
