#!/bin/sh
# Runs a Windows program under Wine in the private prefix of the build tree.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]   (WINEPREFIX may be set by the caller)
set -eu
: "${WINEPREFIX:=$(pwd)/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
export LANG=en_US.UTF-8
# No Mono or Gecko installer, and no menu entries written into the host.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine links the prefix's desktop and documents to the home folder: the prefix
# gets a home of its own in the build tree, for its creation and every run.
export HOME="$WINEPREFIX.home"
mkdir -p "$HOME"
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
