#!/bin/sh
# Runs a Windows program under Wine in the private prefix of the build tree.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]   (WINEPREFIX may be set by the caller)
set -eu
ORVIK_ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/wine-path.sh
. "$ORVIK_ROOT/scripts/wine-path.sh"
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
# Create the prefix once, and again when the Wine packages changed since; parallel test runs wait
# for the first to finish.
mkdir -p "$WINEPREFIX"
(
  flock 9
  packages=$("$(dirname "$0")/wine-packages.sh")
  if [ "$packages" != "$(cat "$WINEPREFIX.packages" 2>/dev/null)" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    printf '%s\n' "$packages" >"$WINEPREFIX.packages"
  fi
) 9>"$WINEPREFIX.lock"
exec wine "$@"
