#!/bin/sh
# Builds the library and the brim program (release) and runs brim with the
# given arguments; with none, brim shows its tour.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
exec ./build/release/bin/brim "$@"
