// What the suites of the foundation, the files, the tree and the framework's files, sync, errors and ui share.
#pragma once

#include "tests/support/suite.h"

#include <regex>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace brimtest {

inline CStringW Wide(const std::filesystem::path& path) { return CStringW(path.wstring().c_str()); }

// What try returns when run on a thread of its own: whether that thread can take a lock, say.
template <typename Try>
bool OnAnotherThread(Try tryIt) {
    bool result = false;
    std::thread([&] { result = tryIt(); }).join();
    return result;
}

}  // namespace brimtest
