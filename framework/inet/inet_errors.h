// WinINet error codes, by name, on every platform.
#pragma once

#include "framework/errors/error_codes.h"   // the general codes, kNoMoreFiles among them

namespace brim::err {
constexpr DWORD kInternetOutOfHandles = 12001;
constexpr DWORD kInternetTimeout = 12002;
constexpr DWORD kInternetExtendedError = 12003;
constexpr DWORD kInternetInternalError = 12004;
constexpr DWORD kInternetInvalidUrl = 12005;
constexpr DWORD kInternetUnrecognizedScheme = 12006;
constexpr DWORD kInternetNameNotResolved = 12007;
constexpr DWORD kInternetInvalidOption = 12009;
constexpr DWORD kInternetIncorrectHandleType = 12018;
constexpr DWORD kInternetIncorrectHandleState = 12019;
constexpr DWORD kInternetLoginFailure = 12015;
constexpr DWORD kInternetCannotConnect = 12029;
constexpr DWORD kInternetConnectionAborted = 12030;
constexpr DWORD kInternetConnectionReset = 12031;
constexpr DWORD kFtpTransferInProgress = 12110;
constexpr DWORD kHttpHeaderNotFound = 12150;
constexpr DWORD kHttpInvalidServerResponse = 12152;
constexpr DWORD kHttpInvalidQueryRequest = 12154;
constexpr DWORD kInternetSecurityChannelError = 12157;
}  // namespace brim::err
