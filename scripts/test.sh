#!/bin/sh
# Builds everything and runs every test. Any failure fails the run.
#
#   native   AddressSanitizer + UndefinedBehaviorSanitizer, all suites,
#            the install test and the export check
#   tsan     ThreadSanitizer, the concurrency suites
#   mingw64  Windows x86_64, all suites under Wine in a fresh prefix, then
#            the suites with code page 949 cases again under a Korean locale
#   mingw32  Windows i686, compiled and linked (no 32-bit Wine in Debian's
#            packages for this release, so its tests cannot run here)
#   fuzz     every libFuzzer target for a short while
set -eu
cd "$(dirname "$0")/.."
FUZZ_SECONDS="${FUZZ_SECONDS:-30}"

# Each stage's heading, and the time the stage before it took.
started=$(date +%s)
stage=""
step() {
  now=$(date +%s)
  [ -z "$stage" ] || printf '\n---- %s: %d s (%d s in all)\n' "$stage" $((now - stage_start)) $((now - started))
  stage="$*" stage_start=$now
  printf '\n==== %s ====\n' "$*"
}

step "dependencies"
./scripts/install-deps.sh test

step "native (ASan + UBSan)"
cmake --preset native
cmake --build --preset native
ctest --preset native

step "ThreadSanitizer (concurrency suites)"
cmake --preset tsan
# Only the programs of the suites it runs (their names are their targets).
tsan_targets="$(ctest --preset tsan -N | sed -n 's/^ *Test *#[0-9]*: //p' | grep -v '^test_home_')"
# shellcheck disable=SC2086
cmake --build --preset tsan --target $tsan_targets
ctest --preset tsan

step "Windows x86_64 under Wine"
cmake --preset mingw64
cmake --build --preset mingw64
scratch="$(mktemp -d)"
trap 'for p in wine wine-ko; do WINEPREFIX="$scratch/$p" wineserver -k 2>/dev/null || true; done; rm -rf "$scratch"' EXIT
WINEPREFIX="$scratch/wine" ctest --preset mingw64

step "Windows x86_64 under Wine, Korean ANSI code page (949)"
# Wine takes the ANSI code page from the locale; a locale compiled from the
# locales package's sources into a private folder needs no system locale.
mkdir -p "$scratch/locale"
localedef -i ko_KR -f UTF-8 "$scratch/locale/ko_KR.UTF-8"
LOCPATH="$scratch/locale" LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8 WINEPREFIX="$scratch/wine-ko" \
  ctest --preset mingw64 -R '^(text_|framework_string_test|framework_format_test|net_http_test)'
WINEPREFIX="$scratch/wine-ko" wineserver -k 2>/dev/null || true

step "Windows i686 (compile and link)"
cmake --preset mingw32
cmake --build --preset mingw32

step "fuzz targets (${FUZZ_SECONDS} s each)"
cmake --preset fuzz
cmake --build --preset fuzz
for fuzzer in build/fuzz/bin/*_fuzz; do
  corpus="$scratch/corpus-$(basename "$fuzzer")"
  mkdir -p "$corpus"
  # Full lengths from the start: the block loops only run on inputs longer
  # than the few bytes libFuzzer would otherwise try in a short run.
  if ! "$fuzzer" -max_total_time="$FUZZ_SECONDS" -max_len=1024 -len_control=0 "$corpus" >"$corpus.log" 2>&1; then
    tail -n 40 "$corpus.log"
    echo "fuzz target $(basename "$fuzzer") failed" >&2
    exit 1
  fi
  printf '%s: %s\n' "$(basename "$fuzzer")" "$(tail -n 1 "$corpus.log")"
done

step "all tests passed"
