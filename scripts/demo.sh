#!/bin/sh
# The demo: builds both targets and starts setup.exe under Wine in the Windows
# build's private prefix, reporting its exit code.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/setup-machine.sh"
"$ROOT/scripts/build.sh" all
cd "$ROOT/build/windows"
export WINEPREFIX="$ROOT/build/windows/wineprefix"
set +e
"$ROOT/scripts/wine-run.sh" src/setup.exe "$@"
code=$?
set -e
wineserver -k 2>/dev/null || true
echo "setup.exe ended with exit code $code"
exit "$code"
