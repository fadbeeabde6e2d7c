// Loading and unloading on POSIX. Windows starts its socket layer here;
// POSIX sockets need no start-up. What the library does fix at load is the
// ANSI code page: Windows decides it once per boot, and reading the locale's
// environment here, before the host starts threads, keeps the choice stable
// and clear of races with a host's setenv.

#include "framework/codepages/codepage.h"

namespace {
__attribute__((constructor)) void BrimLibraryLoad() { (void)brim::platform::AnsiCodePage(); }
}  // namespace

#include "framework/resources/module.h"

#include "framework/files/native_path_posix.h"

#include <dlfcn.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <climits>

namespace brim::platform {

std::wstring ExecutablePath() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path) return {};
    return NameFromNative(path, static_cast<std::size_t>(n));
}

// The executable's load address, found from its entry point, which lies in it.
HMODULE ExecutableModule() {
    static const HMODULE module = [] {
        Dl_info info{};
        const auto entry = reinterpret_cast<void*>(getauxval(AT_ENTRY));
        return dladdr(entry, &info) != 0 ? static_cast<HMODULE>(info.dli_fbase) : nullptr;
    }();
    return module;
}

}  // namespace brim::platform
