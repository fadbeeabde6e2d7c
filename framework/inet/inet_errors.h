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
constexpr DWORD kInternetOperationCancelled = 12017;
constexpr DWORD kInternetCannotConnect = 12029;
constexpr DWORD kInternetConnectionAborted = 12030;
constexpr DWORD kInternetConnectionReset = 12031;
constexpr DWORD kInternetInvalidCa = 12045;
constexpr DWORD kFtpTransferInProgress = 12110;
constexpr DWORD kHttpHeaderNotFound = 12150;
constexpr DWORD kHttpInvalidServerResponse = 12152;
constexpr DWORD kHttpInvalidQueryRequest = 12154;
constexpr DWORD kHttpHeaderAlreadyExists = 12155;
constexpr DWORD kHttpRedirectFailed = 12156;
constexpr DWORD kInternetSecurityChannelError = 12157;

// Every code the POSIX internet layer sets (its socket, FTP client, curl
// glue and handles), each of which has a text in the library's tables. A
// code the layer starts to use is added here, and the table test checks it.
constexpr DWORD kPosixInternetLayerCodes[] = {
    kInvalidHandle, kNotEnoughMemory, kNoMoreFiles, kInvalidParameter, kInsufficientBuffer,
    kInternetOutOfHandles, kInternetTimeout, kInternetExtendedError, kInternetInternalError,
    kInternetInvalidUrl, kInternetUnrecognizedScheme, kInternetNameNotResolved, kInternetInvalidOption,
    kInternetLoginFailure, kInternetOperationCancelled, kInternetIncorrectHandleType,
    kInternetIncorrectHandleState, kInternetCannotConnect, kInternetConnectionAborted, kInternetConnectionReset,
    kInternetInvalidCa, kFtpTransferInProgress, kHttpHeaderNotFound, kHttpInvalidServerResponse,
    kHttpInvalidQueryRequest, kHttpHeaderAlreadyExists, kHttpRedirectFailed, kInternetSecurityChannelError,
};
}  // namespace brim::err
