// What the suites of the foundation, the files, the tree and the framework's files, sync, errors and ui share.
#pragma once

#include <brim/brim.h>

#include "tests/support/printers.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thrown.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

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
