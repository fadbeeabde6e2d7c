#include "framework/errors/errno_posix.h"

#include "framework/errors/error_codes.h"

#include <cerrno>

namespace {
thread_local DWORD t_lastError = 0;
}

extern "C" DWORD GetLastError(void) { return t_lastError; }

extern "C" void SetLastError(DWORD code) { t_lastError = code; }

namespace brim::platform {

DWORD ErrnoToWin32(int error) {
    switch (error) {
    case 0: return 0;
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EMFILE: case ENFILE: return 4;
    case EACCES: case EPERM: case EISDIR: return 5;
    case EBADF: return 6;
    case ENOMEM: return 8;
    case EXDEV: return 17;
    case EROFS: return 19;
    case ENXIO: case ENODEV: return 21;
    case ETXTBSY: return 32;
    case EAGAIN: case ENOLCK: return 33;
    case ENOSYS: case EOPNOTSUPP: return 50;
    case EEXIST: return 80;
    case EINVAL: case ERANGE: return 87;
    case EPIPE: return 109;
    case ENOSPC: case EDQUOT: return 112;
    case ESPIPE: return 132;
    case ENOTEMPTY: return 145;
    case EBUSY: return 170;
    case ENOEXEC: return 193;
    case ENAMETOOLONG: return 206;
    case EFBIG: return 223;
    case EINTR: case ECANCELED: return 995;
    case EFAULT: return 998;
    case EIO: return 1117;
    case EILSEQ: return 1113;
    case ELOOP: return 1921;
    case EDEADLK: return 1131;
    // Socket errors take the Windows Sockets codes.
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    default: return brim::err::kGenFailure;
    }
}

void SetLastErrorFromErrno(int error) { SetLastError(ErrnoToWin32(error)); }

}  // namespace brim::platform
