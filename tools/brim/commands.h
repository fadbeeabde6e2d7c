// brim's sub-commands. Each returns the process exit code: 0 success,
// 1 failure (the CBrimException text on standard error), 2 usage error.
#pragma once

#include <brim/brim.h>

#include <vector>

namespace brimtool {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int CommandError(const std::vector<CStringW>& args);
int CommandTour(const std::vector<CStringW>& args);

}  // namespace brimtool
