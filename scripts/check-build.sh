# Sourced by mutants.sh and coverage.sh: their shared build, native GCC
# without sanitizers and with gcov counters, so that one incremental build
# serves both. A shorter test time-out lets a planted hang end soon, and the
# test programs are not relinked when only the shared library changed.
CHECK_BUILD="${CHECK_BUILD:-build/check}"
check_configure() {
  [ -f "$CHECK_BUILD/build.ninja" ] && return 0
  mkdir -p "$(dirname "$CHECK_BUILD")"
  cmake -S . -B "$CHECK_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRIM_TEST_TIMEOUT=400 \
    -DCMAKE_LINK_DEPENDS_NO_SHARED=ON \
    -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS=--coverage \
    -DCMAKE_SHARED_LINKER_FLAGS=--coverage >"$CHECK_BUILD.configure.log" 2>&1 ||
    { cat "$CHECK_BUILD.configure.log"; return 1; }
}
