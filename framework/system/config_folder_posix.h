// POSIX only: the user's configuration folder of the library, where the
// registry store and relatively named profile files live:
// $XDG_CONFIG_HOME/brim (an absolute XDG_CONFIG_HOME only), else
// ~/.config/brim. Read from the environment on every call.
#pragma once

#include <string>

namespace brim::platform {
std::string UserConfigFolder();
// Creates the folder (and its parent) with owner-only access when missing.
void MakeUserConfigFolder(const std::string& folder);
}  // namespace brim::platform
