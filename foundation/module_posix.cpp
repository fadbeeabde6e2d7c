// Loading and unloading on POSIX. Windows starts its socket layer here;
// POSIX sockets need no start-up. What the library does fix at load is the
// ANSI code page: Windows decides it once per boot, and reading the locale's
// environment here, before the host starts threads, keeps the choice stable
// and clear of races with a host's setenv.

#include "foundation/platform.h"

namespace {
__attribute__((constructor)) void BrimLibraryLoad() { (void)brim::platform::AnsiCodePage(); }
}  // namespace
