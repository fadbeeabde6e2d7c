#!/bin/sh
# The share of test lines: everything under tests/ (suites, support programs,
# server scripts, CMake) against the library and brim (headers included).
set -eu
cd "$(dirname "$0")/.."
count() { git ls-files -co --exclude-standard -- "$@" | grep -E '\.(cpp|h|py|cmake|sh|rc)$|CMakeLists\.txt$' | xargs cat | wc -l; }
tests=$(count tests)
code=$(count include framework foundation text net fs tree env sysinfo tools)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d lines, library and tools %d lines: %.1f%%\n", t, c, 100 * t / c }'
