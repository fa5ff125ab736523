#!/bin/sh
# Runs the libFuzzer targets of fuzz/ (each fuzz/NAME_fuzz.cpp is target NAME), which the native
# tree builds (scripts/build.sh native): replays each target's corpus fuzz/corpus/NAME/, then
# fuzzes the targets, FUZZ_JOBS at a time. Non-zero when a target is not built or an input
# crashes, leaks, times out or exceeds the memory limit; the input is kept in
# build/native/fuzz/artifacts/.
#
# Usage: fuzz.sh [--long MINUTES] [TARGET...]        (default: every target)
#   --long MINUTES  a campaign: fuzzes each target that long, then merges what it found into
#                   fuzz/corpus/NAME/, minimised (the fewest inputs that reach every edge reached)
#   FUZZ_SECONDS    fuzzing time per target without --long (default 30; 0 replays only)
#   FUZZ_JOBS       targets fuzzed at once (default 2)
#   FUZZ_BUILD      the build tree (default build/native)
# Without --long, new inputs go to build/native/fuzz/NAME-corpus/, never into the repository.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${FUZZ_BUILD:-$ROOT/build/native}/fuzz
COMMON="-rss_limit_mb=512 -timeout=10"

# One target's fuzzing, run by the parallel step below: fuzz.sh --fuzz-one NAME SECONDS.
if [ "${1:-}" = --fuzz-one ]; then
  name=$2
  exe=$OUT/${name}_fuzz
  mkdir -p "$OUT/$name-corpus"
  # shellcheck disable=SC2086
  if ! "$exe" $COMMON -artifact_prefix="$OUT/artifacts/$name-" -max_total_time="$3" \
    -print_final_stats=1 "$OUT/$name-corpus" "$ROOT/fuzz/corpus/$name" \
    >"$OUT/$name-fuzz.log" 2>&1; then
    tail -60 "$OUT/$name-fuzz.log"
    echo "fuzz target $name failed; the input is in $OUT/artifacts/"
    exit 1
  fi
  echo "$name: $(grep -E '^#[0-9]+.*DONE' "$OUT/$name-fuzz.log" | tail -1 |
    sed 's/.*\(cov: [0-9]*\).*\(exec\/s: [0-9]*\).*/\1 \2/')"
  exit 0
fi

seconds=${FUZZ_SECONDS:-30}
long=""
if [ "${1:-}" = --long ]; then
  if [ $# -lt 2 ] || ! [ "$2" -gt 0 ] 2>/dev/null; then
    echo "usage: fuzz.sh --long MINUTES [TARGET...]"
    exit 2
  fi
  long=1
  seconds=$(($2 * 60))
  shift 2
fi
if [ $# -gt 0 ]; then
  targets="$*"
else
  targets=$(for f in "$ROOT"/fuzz/*_fuzz.cpp; do basename "$f" _fuzz.cpp; done)
fi
mkdir -p "$OUT/artifacts"
for name in $targets; do
  if ! [ -x "$OUT/${name}_fuzz" ]; then
    echo "fuzz target $name is not built in $OUT (scripts/build.sh native builds it)"
    exit 1
  fi
  mkdir -p "$ROOT/fuzz/corpus/$name"
done

status=0
# Every input of every corpus once.
for name in $targets; do
  # shellcheck disable=SC2086
  if ! "$OUT/${name}_fuzz" $COMMON -artifact_prefix="$OUT/artifacts/$name-" -runs=0 \
    "$ROOT/fuzz/corpus/$name" >"$OUT/$name-replay.log" 2>&1; then
    tail -40 "$OUT/$name-replay.log"
    echo "fuzz target $name fails on its corpus"
    status=1
  fi
done
echo "replayed the corpora of $(echo "$targets" | wc -w) fuzz targets"
[ "$status" -eq 0 ] && [ "$seconds" -gt 0 ] || exit "$status"

[ -z "$long" ] || rm -rf "$OUT"/*-corpus
# shellcheck disable=SC2086
printf '%s\n' $targets | xargs -P "${FUZZ_JOBS:-2}" -I{} sh "$0" --fuzz-one {} "$seconds" ||
  status=1
if [ -n "$long" ] && [ "$status" -eq 0 ]; then
  for name in $targets; do
    merged=$OUT/$name-merged
    rm -rf "$merged" && mkdir -p "$merged"
    # Edges only, not their hit counts: the fewest inputs that reach every edge any reached.
    # shellcheck disable=SC2086
    "$OUT/${name}_fuzz" $COMMON -merge=1 -use_counters=0 "$merged" "$ROOT/fuzz/corpus/$name" "$OUT/$name-corpus" \
      >"$OUT/$name-merge.log" 2>&1 || { tail -20 "$OUT/$name-merge.log"; exit 1; }
    rm -rf "$ROOT/fuzz/corpus/$name" && mv "$merged" "$ROOT/fuzz/corpus/$name"
    echo "$name: $(find "$ROOT/fuzz/corpus/$name" -type f | wc -l) inputs in fuzz/corpus/$name/"
  done
fi
exit "$status"
