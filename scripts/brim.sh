#!/bin/sh
# Builds the library and the brim program (release) and runs brim with the
# given arguments in the caller's folder, so relative paths mean what the
# caller means. With no arguments brim shows its tour of the repository's
# samples.
#
# Progress (a line per phase, then the build's own) goes to standard error;
# standard output is brim's alone.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd -P)"
build="$root/build/release"

phase() { printf '==> %s\n' "$*" >&2; }

phase "dependencies (scripts/install-deps.sh build)"
"$root/scripts/install-deps.sh" build

phase "configuring ($build)"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# The preset is found relative to the source folder; the subshell keeps the
# caller's folder for brim.
if ! (cd "$root" && cmake --preset release) >"$log" 2>&1; then
  cat "$log" >&2
  phase "configuring failed"
  exit 1
fi

phase "building"
if ! (cd "$root" && cmake --build --preset release) >&2; then
  phase "building failed (the compiler's message is above)"
  exit 1
fi

if [ $# -eq 0 ] && [ "$(pwd -P)" != "$root" ]; then
  set -- tour "$root/samples"
fi
if [ $# -eq 0 ]; then phase "running brim"; else phase "running brim $*"; fi
rm -f "$log"
trap - EXIT
exec "$build/bin/brim" "$@"
