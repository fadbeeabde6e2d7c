// POSIX only: errno values turned into the Windows codes the library speaks.
#pragma once

#include <brim/config.h>

namespace brim::platform {

DWORD ErrnoToWin32(int error);
// SetLastError(ErrnoToWin32(error)).
void SetLastErrorFromErrno(int error);

}  // namespace brim::platform
