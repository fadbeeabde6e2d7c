// POSIX only: desktop dialogs through zenity or kdialog.
#pragma once

#include <string>
#include <vector>

namespace brim::platform {

// The dialog program available on this desktop ("zenity" or "kdialog"), or ""
// when there is no display or neither is installed.
std::string DialogProgram();

// Runs program with arguments (UTF-8), waits, and returns its exit code, or
// -1 when it could not be started; its standard output goes to output.
int RunDialog(const std::string& program, const std::vector<std::string>& args, std::string& output);

}  // namespace brim::platform
