#!/bin/sh
# The one test command: installs what is missing, builds both targets, runs the native tests,
# then the Windows tests under Wine with the fuzz targets fuzzing beside them (the Windows tests
# mostly wait on Wine). Each phase has a time limit, so that a hang ends with a message naming
# the phase; the limits add up to less than CI's 90 minutes. Prints each phase's wall time and
# the total. Non-zero when anything fails or when no test ran.
#   FUZZ_SECONDS  fuzzing time per target (default 30)
#   FUZZ_JOBS     targets fuzzed at once beside the Windows tests (default 1: two slowed the
#                 Windows tests by as much as they saved)
#   NATIVE_CTEST_ARGS, WINDOWS_CTEST_ARGS  more arguments for either ctest (for example
#                 "-R crypto" for a quick look at the run itself)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
LOG=$ROOT/build/test-phases
mkdir -p "$ROOT/build"
: >"$LOG"
started=$(date +%s)
status=0

# Records how a phase ended: NAME START EXIT LIMIT_MINUTES.
record() {
  seconds=$(($(date +%s) - $2))
  case $3 in
    0) result=ok ;;
    124 | 137) result="TIMED OUT after its limit of $4 min" ;;
    *) result="FAILED (exit $3)" ;;
  esac
  line=$(printf '%-16s %3d:%02d  %s' "$1" $((seconds / 60)) $((seconds % 60)) "$result")
  echo "$line" >>"$LOG"
  echo "== $line"
  [ "$3" -eq 0 ] || status=1
}

# Runs a phase: NAME LIMIT_MINUTES DIRECTORY COMMAND...; its exit status is the command's.
phase() {
  name=$1 limit=$2 dir=$3
  shift 3
  echo "== $name (limit $limit min)"
  start=$(date +%s)
  rc=0
  (cd "$dir" && exec timeout -k 30 "${limit}m" "$@") || rc=$?
  record "$name" "$start" "$rc" "$limit"
  return "$rc"
}

summary() {
  echo "== phases (wall time)"
  cat "$LOG"
  total=$(($(date +%s) - started))
  printf 'total            %3d:%02d\n' $((total / 60)) $((total % 60))
  if [ "$status" -ne 0 ]; then
    echo "TESTS FAILED"
  else
    echo "ALL TESTS PASSED"
  fi
  exit "$status"
}

# Limits in minutes: 8 + 20 + 20 + 8 + 30 = 86, below CI's 90; the fuzzing runs within the
# Windows tests' time.
phase set-up 8 "$ROOT" scripts/setup-machine.sh || summary
phase "native build" 20 "$ROOT" scripts/build.sh native || summary
# The Windows build also makes the demo package, from both builds' outputs.
phase "windows build" 20 "$ROOT" scripts/build.sh windows || summary

# shellcheck disable=SC2086
phase "native tests" 8 "$ROOT/build/native" \
  ctest --output-on-failure --no-tests=error -j 2 ${NATIVE_CTEST_ARGS:-} || true

# The fuzz targets replay their corpora and fuzz beside the Windows tests, at a lower priority.
FUZZ_LOG=$ROOT/build/native/fuzz/fuzz.log
mkdir -p "$(dirname "$FUZZ_LOG")"
(
  start=$(date +%s)
  rc=0
  FUZZ_JOBS=${FUZZ_JOBS:-1} timeout -k 30 20m nice -n 10 "$ROOT/scripts/fuzz.sh" \
    >"$FUZZ_LOG" 2>&1 || rc=$?
  echo "$start $rc" >"$FUZZ_LOG.end"
) &
fuzzing=$!

WINEPREFIX="$ROOT/build/windows/wineprefix"
export WINEPREFIX
# Windows need a display under Wine: the tests run on a virtual one. The prefix
# is made first; then one wineserver stays up for the whole run, so that no
# test starts a program just as an idle server shuts down. Its service manager
# is started before the tests, which would otherwise keep the output of the
# test that started it open.
# shellcheck disable=SC2016
phase "windows tests" 30 "$ROOT/build/windows" xvfb-run -a sh -c '
  "$1/scripts/wine-run.sh" cmd /c exit 0 && wineserver -w &&
  wineserver -p && "$1/scripts/wine-run.sh" cmd /c exit 0 &&
  ctest --output-on-failure --no-tests=error -j 2 ${WINDOWS_CTEST_ARGS:-}
  rc=$?
  wineserver -k 2>/dev/null
  exit $rc' sh "$ROOT" || true

echo "== fuzz targets (beside the Windows tests; limit 20 min)"
wait "$fuzzing" || true
cat "$FUZZ_LOG"
read -r fuzz_start fuzz_rc <"$FUZZ_LOG.end"
record fuzz "$fuzz_start" "$fuzz_rc" 20
summary
