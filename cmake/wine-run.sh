#!/bin/sh
# Runs a Windows program under Wine for ctest.
#
# The first Wine process starts Wine's background server, which would inherit
# ctest's output pipe and keep ctest waiting. So, under a lock, the server is
# started here with its output detached and told to outlive its last client
# for a minute (a second start is a no-op while one runs), and the prefix is
# booted once; then the program runs.
set -eu
: "${WINEPREFIX:=${HOME}/.wine-brim}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
# Wine's WinINet honours proxy variables; tests talk to loopback servers only.
unset http_proxy https_proxy ftp_proxy all_proxy HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY

mkdir -p "$WINEPREFIX"
(
  flock 9
  wineserver -p 60 </dev/null >/dev/null 2>&1 9>&- || true
  if [ ! -e "$WINEPREFIX/.brim-booted" ]; then
    wine cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
    touch "$WINEPREFIX/.brim-booted"
  fi
) 9>"$WINEPREFIX.lock"
exec wine "$@"
