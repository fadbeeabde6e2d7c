#!/bin/sh
# Installs the Debian packages one kind of work needs:
#
#   install-deps.sh build   building the library and brim, and packaging them
#   install-deps.sh test    build, plus everything scripts/test.sh runs (GoogleTest,
#                           mingw-w64 and Wine, clang for the fuzz targets, the test
#                           servers, a virtual display for the dialog tests, lintian)
#   install-deps.sh bench   build, plus the benchmarks' peer libraries
#   install-deps.sh         all of them
#
# Idempotent and non-interactive; run as root (or through sudo). Progress and
# apt's own messages go to standard error.
set -eu

build="build-essential cmake ninja-build libcurl4-openssl-dev libsqlite3-dev file"
test="
  pkg-config git lintian
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine64
  python3 python3-pyftpdlib curl
  xvfb zenity xdotool
  locales
"
bench="libbenchmark-dev libuchardet-dev libicu-dev libspdlog-dev"

case "${1:-all}" in
  build) packages="$build" ;;
  test)  packages="$build $test" ;;
  bench) packages="$build $bench" ;;
  all)   packages="$build $test $bench" ;;
  *) echo "usage: install-deps.sh [build|test|bench]" >&2; exit 2 ;;
esac

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
  echo "install-deps: everything for '${1:-all}' is installed" >&2
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# Right after boot apt's daily job may hold the lock for a while: wait for it
# rather than fail.
lock="-o DPkg::Lock::Timeout=600"
echo "install-deps: installing$missing" >&2
# shellcheck disable=SC2086
$SUDO apt-get $lock update -q >&2
# shellcheck disable=SC2086
$SUDO apt-get $lock install -y -q --no-install-recommends $missing >&2
