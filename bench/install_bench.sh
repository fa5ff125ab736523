#!/bin/sh
# Installation speed and the mail server's downtime during an upgrade, under Wine. Builds a large
# package (the demo package with a corpus of this machine's /usr files of about CORPUS_MB MB
# added under doc\) and an NSIS silent installer of the same corpus, then runs RUNS rounds of,
# each in a prefix reset to its state as created:
#   our unattended installation of the demo package;
#   our unattended installation of the large package, then an upgrade over it with the same
#   package, timing the downtime (from the first module stopped to the last one running again,
#   from the times the modules' stand-ins note);
#   the NSIS installer of the corpus, silent.
# Prints the medians (min and max) and the ratio to NSIS, taken pair by pair.
#
# Usage: install_bench.sh [WORKDIR]
#   WORKDIR     corpus, large package, NSIS installer and the Wine prefix (default
#               $TMPDIR/install-bench); about 2 GB are needed. The corpus is kept and reused.
#   PACKAGE     the package to enlarge (default build/windows/demo, made by scripts/build.sh all)
#   BENCH_BUILD native build tree for ilds (default build/bench: Release, no sanitizers;
#               configured when missing, brought up to date on every run)
#   CORPUS_MB   corpus size (default 300)      RUNS   rounds (default 3)
#   BASELINE    another build's setup.exe: every round also runs the demo and large packages and
#               the upgrade with it (in turns, first or second), and the ratios of ours to it
#               are printed pair by pair: what a change costs
# NSIS installers are 32-bit programs: without Wine's 32-bit part (wine32), or on a kernel that
# cannot run 32-bit programs, that row is left out.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-${TMPDIR:-/tmp}/install-bench}
PACKAGE=$(cd "${PACKAGE:-$ROOT/build/windows/demo}" && pwd)
BUILD=${BENCH_BUILD:-$ROOT/build/bench}
CORPUS_MB=${CORPUS_MB:-300}
RUNS=${RUNS:-3}
export LC_ALL=C

[ -f "$PACKAGE/setup.Dat" ] || { echo "no package in $PACKAGE: scripts/build.sh all makes it"; exit 1; }
command -v makensis >/dev/null || { echo "missing makensis (scripts/setup-machine.sh installs it)"; exit 1; }
. "$ROOT/bench/common.sh"
release_build "$ROOT" "$BUILD" ilds
ILDS=$BUILD/tools/ilds/ilds
mkdir -p "$WORK"
cd "$WORK"
make_corpus "$CORPUS_MB"
files=$CORPUS_FILES
bytes=$CORPUS_BYTES

# --- The large package: the demo's setup.Dat with the corpus under doc\corpus\, made again
# when the demo's setup.Dat changed; the package's other files as they are.
if ! cmp -s "$PACKAGE/setup.Dat" demo-setup.Dat || [ ! -f large/setup.Dat ]; then
  rm -rf stage large demo-setup.Dat
  mkdir -p large
  "$ILDS" extract "$PACKAGE/setup.Dat" stage >/dev/null
  mkdir -p stage/doc/corpus
  cp -r corpus/. stage/doc/corpus/
  "$ILDS" pack large/setup.Dat stage >/dev/null
  rm -rf stage
  cp "$PACKAGE/setup.Dat" demo-setup.Dat
fi
for f in "$PACKAGE"/*; do
  [ "$(basename "$f")" = setup.Dat ] || cp "$f" large/
done
variants=ours
if [ -n "${BASELINE:-}" ]; then
  rm -rf base-demo base-large
  cp -rl "$PACKAGE" base-demo
  cp -rl large base-large
  for dir in base-demo base-large; do
    rm "$dir/setup.exe"
    cp "$BASELINE" "$dir/setup.exe"
  done
  variants="ours base"
fi

# --- The NSIS installer: the corpus into C:\NsisBench\doc\corpus\, zlib as ours uses.
if [ ! -f nsis-setup.exe ] || [ corpus.done -nt nsis-setup.exe ]; then
  cat >bench.nsi <<EOF
Unicode true
SetCompressor zlib
OutFile "$WORK/nsis-setup.exe"
InstallDir "C:\\NsisBench"
RequestExecutionLevel admin
SilentInstall silent
Section
  SetOutPath "\$INSTDIR\\doc\\corpus"
  File /r "$WORK/corpus/*"
SectionEnd
EOF
  makensis -V1 bench.nsi >/dev/null
fi
nsis=1
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "wine32 is not installed: the NSIS installer cannot run, its row is left out"
  nsis=
elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "this machine cannot run 32-bit programs: the NSIS installer's row is left out"
  nsis=
fi

# --- The prefix, reset before every run.
E2E_LIB=$ROOT/tests/e2e/lib.sh
. "$E2E_LIB"
e2e_init "$ROOT/build/windows" "$WORK/wine"
trap e2e_stop_server EXIT
e2e_prefix_current || e2e_create_prefix
E2E_TIMEOUT=900

now() { date +%s.%N; }
# timed NAME PROGRAM ARGS...: runs a program of the prefix and appends its wall time to NAME.times.
timed() {
  timed_name=$1
  shift
  timed_start=$(now)
  e2e_run "$@"
  [ "$E2E_EXIT" -eq 0 ] || { echo "$timed_name: exit $E2E_EXIT"; exit 1; }
  awk -v a="$timed_start" -v b="$(now)" 'BEGIN { printf "%.2f\n", b - a }' >>"$timed_name.times"
}
reset_with() {  # reset_with PACKAGE: the prefix as created, the package in C:\OrvikSetup\
  E2E_FOLDERS='C:\NsisBench\'
  e2e_reset "$1" >/dev/null
}
root=$(e2e_path "$E2E_INSTALL")
# The downtime of the last run, in seconds, from the modules' times files.
downtime() {
  cat "$root"/*.exe.times | awk '
    $1 == "stopped" && (first == "" || $2 < first) { first = $2 }
    $1 == "running" && $2 > last { last = $2 }
    END { if (first == "" || last < first) print "none"; else printf "%.2f\n", (last - first) / 1000 }'
}

rm -f ./*.times
i=0
while [ "$i" -lt "$RUNS" ]; do
  i=$((i + 1))
  echo "round $i of $RUNS ..."
  # With a baseline, each goes first in every other round.
  order=$variants
  [ $((i % 2)) -eq 1 ] || order=$(echo "$variants" | awk '{ for (n = NF; n > 0; n--) printf "%s ", $n }')
  for variant in $order; do
    prefix= demo=$PACKAGE large=$WORK/large
    [ "$variant" = ours ] || prefix=base- demo=$WORK/base-demo large=$WORK/base-large
    reset_with "$demo"
    timed "${prefix}demo" "${E2E_SETUP_DIR}setup.exe" /VERYSILENT
    reset_with "$large"
    timed "${prefix}large" "${E2E_SETUP_DIR}setup.exe" /VERYSILENT
    [ "$(find "$root/doc/corpus" -type f | wc -l)" -eq "$files" ] || { echo "$variant lost files"; exit 1; }
    rm -f "$root"/*.exe.times
    timed "${prefix}upgrade" "${E2E_SETUP_DIR}setup.exe" /VERYSILENT
    downtime >>"${prefix}downtime.times"
  done
  if [ -n "$nsis" ]; then
    reset_with "$PACKAGE"
    cp nsis-setup.exe "$E2E_C/e2e/"
    timed nsis 'C:\e2e\nsis-setup.exe' /S
    [ "$(find "$E2E_C/NsisBench/doc/corpus" -type f | wc -l)" -eq "$files" ] ||
      { echo "NSIS lost files"; exit 1; }
  fi
done
e2e_stop_server

# median, min and max of a list of numbers (one a line)
stats() { sort -n | awk '{ v[NR] = $1 } END { printf "%8.2f %8.2f %8.2f", v[int((NR + 1) / 2)], v[1], v[NR] }'; }
row() { printf '%-44s %s\n' "$1" "$(stats <"$2.times")"; }
# ratio_row LABEL A B: A's times over B's, pair by pair: median, min and max.
ratio_row() { printf '%-44s %s\n' "$1" "$(paste "$2.times" "$3.times" | awk '{ print $1 / $2 }' | stats)"; }
echo
echo "corpus: $files files, $((bytes / 1048576)) MiB; large setup.Dat $(($(stat -c %s large/setup.Dat) / 1048576)) MiB"
echo "$RUNS rounds under $(wine --version); $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-44s %8s %8s %8s\n' "seconds" "median" "min" "max"
row "ours, demo package, fresh" demo
row "ours, large package, fresh" large
[ -z "$nsis" ] || row "NSIS, corpus only, fresh" nsis
row "ours, large package, upgrade" upgrade
row "downtime of that upgrade" downtime
[ -z "$nsis" ] || ratio_row "ours/NSIS, large fresh, pair by pair" large nsis
if [ -n "${BASELINE:-}" ]; then
  echo "baseline: $BASELINE"
  for name in demo large upgrade downtime; do
    row "baseline, $name" "base-$name"
  done
  for name in demo large upgrade; do
    ratio_row "ours/baseline, $name, pair by pair" "$name" "base-$name"
  done
fi
echo "goals: large fresh <= 0.7x NSIS; downtime <= 3 s; demo fresh <= 3 s"
