#!/bin/sh
# Runs a Windows program under Wine in the private prefix of the build tree.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]   (WINEPREFIX may be set by the caller)
set -eu
: "${WINEPREFIX:=$(pwd)/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
export LANG=en_US.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
# Create the prefix once; parallel test runs wait for the first to finish.
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
) 9>"$WINEPREFIX.lock"
exec wine "$@"
