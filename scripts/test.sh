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
# Windows need a display under Wine: the tests run on a virtual one. The prefix
# is made first; then one wineserver stays up for the whole run, so that no
# test starts a program just as an idle server shuts down. Its service manager
# is started before the tests, which would otherwise keep the output of the
# test that started it open.
(cd "$ROOT/build/windows" && xvfb-run -a sh -c '
  "$1/scripts/wine-run.sh" cmd /c exit 0 && wineserver -w &&
  wineserver -p && "$1/scripts/wine-run.sh" cmd /c exit 0 &&
  ctest --output-on-failure --no-tests=error -j 2
  rc=$?
  wineserver -k 2>/dev/null
  exit $rc' sh "$ROOT") || status=1

if [ "$status" -ne 0 ]; then
  echo "TESTS FAILED"
else
  echo "ALL TESTS PASSED"
fi
exit "$status"
