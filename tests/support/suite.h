// The headers every suite uses: the library, GoogleTest, the test support and the standard library's common parts.
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
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>
