# Shared by the command-line tool tests: sourced after setting TOOL_NAME, with the tool and an
# optional runner (scripts/wine-run.sh for a .exe) as the script's arguments. Works in a fresh
# folder $WORK that is removed at the end; run() runs the tool and leaves rc, stdout.txt and
# stderr.txt (carriage returns dropped, as the Windows builds end their lines with them).
set -u
TOOL=$1
RUNNER=${2:-}
case $TOOL in /*) ;; *) TOOL=$(pwd)/$TOOL ;; esac
case $RUNNER in /* | "") ;; *) RUNNER=$(pwd)/$RUNNER ;; esac
WORK=$(mktemp -d "${TMPDIR:-/tmp}/$TOOL_NAME-test-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
export LC_ALL=C

failures=0
checks=0
fail() {
  printf 'FAIL: %s\n' "$*"
  failures=$((failures + 1))
}
run() {
  checks=$((checks + 1))
  $RUNNER "$TOOL" "$@" >raw-out.txt 2>raw-err.txt
  rc=$?
  # Under a loaded machine Wine has once ended a run with status 1 and neither output: the tools
  # never fail without a reason on standard error, so such a run is tried once more.
  if [ -n "$RUNNER" ] && [ "$rc" -ne 0 ] && [ ! -s raw-out.txt ] && [ ! -s raw-err.txt ]; then
    $RUNNER "$TOOL" "$@" >raw-out.txt 2>raw-err.txt
    rc=$?
  fi
  tr -d '\r' <raw-out.txt >stdout.txt
  tr -d '\r' <raw-err.txt >stderr.txt
}
expect_rc() {
  [ "$rc" -eq "$1" ] || fail "$2: exit status $rc, expected $1 ($(cat stderr.txt))"
}
expect_err() {
  grep -q -- "$1" stderr.txt || fail "$2: standard error lacks \"$1\": $(cat stderr.txt)"
}
# The last line of a test script: the count, and the exit status.
finish() {
  echo "$checks runs of $TOOL_NAME, $failures failures"
  [ "$failures" -eq 0 ]
}
