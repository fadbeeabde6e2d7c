// Windows error codes the library sets or tests, by name, on every platform.
#pragma once

#include <brim/config.h>

namespace brim::err {
constexpr DWORD kSuccess = 0;
constexpr DWORD kFileNotFound = 2;
constexpr DWORD kPathNotFound = 3;
constexpr DWORD kTooManyOpenFiles = 4;
constexpr DWORD kAccessDenied = 5;
constexpr DWORD kInvalidHandle = 6;
constexpr DWORD kNotEnoughMemory = 8;
constexpr DWORD kNoMoreFiles = 18;
constexpr DWORD kSharingViolation = 32;
constexpr DWORD kLockViolation = 33;
constexpr DWORD kHandleEof = 38;
constexpr DWORD kNotSupported = 50;
constexpr DWORD kFileExists = 80;
constexpr DWORD kInvalidParameter = 87;
constexpr DWORD kDiskFull = 112;
constexpr DWORD kInsufficientBuffer = 122;
constexpr DWORD kInvalidName = 123;
constexpr DWORD kNegativeSeek = 131;
constexpr DWORD kDirNotEmpty = 145;
constexpr DWORD kAlreadyExists = 183;
constexpr DWORD kFilenameTooLong = 206;
constexpr DWORD kNotOwner = 288;
constexpr DWORD kNoUnicodeTranslation = 1113;
constexpr DWORD kGenFailure = 31;
}  // namespace brim::err
