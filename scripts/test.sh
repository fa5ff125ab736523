#!/bin/sh
# The one test command: installs what is missing, builds both targets, runs the
# native tests and the Windows tests under Wine. Non-zero when anything fails or
# when no test ran.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/setup-machine.sh"
"$ROOT/scripts/build.sh" all

status=0
echo "== native tests"
(cd "$ROOT/build/native" && ctest --output-on-failure --no-tests=error -j 2) || status=1

echo "== fuzz targets: their corpora, then 30 seconds of fuzzing each"
"$ROOT/scripts/fuzz.sh" || status=1

echo "== Windows tests under Wine"
WINEPREFIX="$ROOT/build/windows/wineprefix"
export WINEPREFIX
# Windows need a display under Wine: the tests run on a virtual one.
(cd "$ROOT/build/windows" && xvfb-run -a ctest --output-on-failure --no-tests=error -j 2) ||
  status=1
wineserver -k 2>/dev/null || true

if [ "$status" -ne 0 ]; then
  echo "TESTS FAILED"
else
  echo "ALL TESTS PASSED"
fi
exit "$status"
