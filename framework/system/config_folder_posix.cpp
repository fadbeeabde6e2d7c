#include "framework/system/config_folder_posix.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace brim::platform {

std::string UserConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return std::string(config) + "/brim";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == 0) {
        const passwd* pw = getpwuid(getuid());
        home = pw != nullptr ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config/brim";
}

void MakeUserConfigFolder(const std::string& folder) {
    const std::size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) mkdir(folder.substr(0, slash).c_str(), 0700);
    mkdir(folder.c_str(), 0700);
}

}  // namespace brim::platform
