#!/bin/sh
# Builds the libFuzzer targets of fuzz/ (each fuzz/NAME_fuzz.cpp is target NAME) with clang and
# AddressSanitizer + UBSan in build/fuzz, replays each target's corpus fuzz/corpus/NAME/, then
# fuzzes each for a bounded time. Non-zero when a target does not build or an input crashes,
# leaks, times out or exceeds the memory limit; the input is kept in build/fuzz/artifacts/.
#
# Usage: fuzz.sh [TARGET...]        (default: every target)
#   FUZZ_SECONDS   fuzzing time per target (default 30; 0 replays the corpus only)
#   FUZZ_JOBS      parallel compiles (default 2)
# New inputs go to build/fuzz/NAME-corpus/, never into the repository's corpus.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build/fuzz
SECONDS_PER_TARGET=${FUZZ_SECONDS:-30}
JOBS=${FUZZ_JOBS:-2}
CXX=${FUZZ_CXX:-clang++}
# Every subsystem folder with the native (posix) side of the platform layer, as the native
# build's libraries have them, and the simulated system of testbed/simulator for what has no
# posix port (the system's folders); a target links only what it uses from the archive of them.
SOURCE_DIRS="src/platform src/platform/posix testbed/simulator"
for dir in "$ROOT"/src/*/; do
  dir=src/$(basename "$dir")
  [ "$dir" = src/platform ] || SOURCE_DIRS="$SOURCE_DIRS $dir"
done
CXXFLAGS="-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined
  -fno-sanitize-recover=all -I$ROOT/src -I$ROOT/testbed -Wall -Wextra"

mkdir -p "$OUT/obj" "$OUT/artifacts"

# An object is rebuilt when it is missing or older than its source or a header it included.
stale() {
  [ -f "$1.o" ] && [ -f "$1.d" ] || return 0
  for f in $(sed -e 's/^[^:]*://' -e 's/\\$//' "$1.d"); do
    [ "$f" -nt "$1.o" ] && return 0
  done
  return 1
}

compile_list=$OUT/compile.txt
: >"$compile_list"
objects=""
for dir in $SOURCE_DIRS; do
  for src in "$ROOT/$dir"/*.cpp; do
    [ -f "$src" ] || continue
    [ "$(basename "$src")" != main.cpp ] || continue  # program entries
    base=$OUT/obj/$(echo "$dir" | tr / _)_$(basename "$src" .cpp)
    objects="$objects $base.o"
    if stale "$base"; then echo "$src $base" >>"$compile_list"; fi
  done
done
# Library code is built for coverage feedback without libFuzzer's main.
# shellcheck disable=SC2086
xargs -r -P "$JOBS" -L 1 sh -c \
  "$CXX $(echo $CXXFLAGS) -fsanitize=fuzzer-no-link -MMD -MF \"\$1.d\" -c \"\$0\" -o \"\$1.o\"" \
  <"$compile_list"
library=$OUT/liborvik_fuzz.a
rm -f "$library"
# shellcheck disable=SC2086
ar rcs "$library" $objects

if [ $# -gt 0 ]; then
  targets="$*"
else
  targets=$(for f in "$ROOT"/fuzz/*_fuzz.cpp; do [ -f "$f" ] && basename "$f" _fuzz.cpp; done)
fi
[ -n "$targets" ] || { echo "no fuzz targets in fuzz/"; exit 1; }

status=0
for name in $targets; do
  src=$ROOT/fuzz/${name}_fuzz.cpp
  exe=$OUT/${name}_fuzz
  echo "== fuzz target $name"
  # shellcheck disable=SC2086
  if ! $CXX $CXXFLAGS -fsanitize=fuzzer "$src" "$library" -lz -lssl -lcrypto -lpthread -o "$exe"; then
    echo "fuzz target $name does not build"
    status=1
    continue
  fi
  seeds=$ROOT/fuzz/corpus/$name
  work=$OUT/$name-corpus
  mkdir -p "$work"
  [ -d "$seeds" ] || seeds=$work
  common="-rss_limit_mb=512 -timeout=10 -artifact_prefix=$OUT/artifacts/$name-"
  # Every input of the corpus once.
  # shellcheck disable=SC2086
  if ! "$exe" $common -runs=0 "$seeds" >"$OUT/$name-replay.log" 2>&1; then
    tail -40 "$OUT/$name-replay.log"
    echo "fuzz target $name fails on its corpus"
    status=1
    continue
  fi
  grep -E "INITED|DONE" "$OUT/$name-replay.log" | tail -1
  [ "$SECONDS_PER_TARGET" -gt 0 ] || continue
  # shellcheck disable=SC2086
  if ! "$exe" $common -max_total_time="$SECONDS_PER_TARGET" -print_final_stats=1 \
    "$work" "$seeds" >"$OUT/$name-fuzz.log" 2>&1; then
    tail -60 "$OUT/$name-fuzz.log"
    echo "fuzz target $name crashed; see $OUT/artifacts/"
    status=1
    continue
  fi
  grep -E "^#[0-9]+.*(DONE|pulse)" "$OUT/$name-fuzz.log" | tail -1
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$OUT/$name-fuzz.log" || true
done
exit "$status"
