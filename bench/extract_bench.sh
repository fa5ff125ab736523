#!/bin/sh
# Extraction and packing speed of ilds against tar and zip on a corpus of a few hundred MB in a
# few thousand files taken from this machine (/usr/lib, /usr/share), and the peak memory of
# extracting one 1 GiB entry. Wall clock, best of RUNS runs each; the page cache is warm for
# every contender alike. Prints a table of wall-clock and CPU seconds.
#
# Usage: extract_bench.sh [WORKDIR]
#   WORKDIR          where the corpus, archives and extractions go (default $TMPDIR/ilds-bench);
#                    about 3.5 GB are needed. The corpus is kept and reused when present.
#   BENCH_BUILD      build tree (default build/bench: Release, no sanitizers; configured when
#                    missing, brought up to date on every run)
#   CORPUS_MB        corpus size (default 300)      RUNS   runs per measure (default 3)
#   EXTRACT_DIR      where extractions go (default WORKDIR/out)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-${TMPDIR:-/tmp}/ilds-bench}
BUILD=${BENCH_BUILD:-$ROOT/build/bench}
CORPUS_MB=${CORPUS_MB:-300}
RUNS=${RUNS:-3}
# Extractions go here; point it at a tmpfs to leave the disk's metadata costs out.
OUT=${EXTRACT_DIR:-$WORK/out}
export LC_ALL=C

for tool in tar gzip zip unzip /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/setup-machine.sh installs it)"; exit 1; }
done
. "$ROOT/bench/common.sh"
release_build "$ROOT" "$BUILD" ilds archive_bench
ILDS=$BUILD/tools/ilds/ilds
BENCH=$BUILD/bench/archive_bench
mkdir -p "$WORK"
cd "$WORK"

make_corpus "$CORPUS_MB"
files=$CORPUS_FILES
bytes=$CORPUS_BYTES
text=$(find corpus -type f \( -name '*.txt' -o -name '*.py' -o -name '*.h' -o -name '*.html' \
  -o -name '*.xml' -o -name '*.pm' -o -name '*.pl' -o -name '*.js' -o -name '*.css' \
  -o -name '*.json' -o -name '*.rb' -o -name '*.sh' -o -name '*.md' \) | wc -l)

# --- Timing: the run of best wall clock of RUNS runs, as "wall cpu" (cpu = user + system of
# the process and its children); `prepare` runs untimed before each.
best_of() {  # best_of PREPARE COMMAND...
  prepare=$1
  shift
  best=""
  i=0
  while [ "$i" -lt "$RUNS" ]; do
    eval "$prepare"
    /usr/bin/time -f '%e %U %S' -o run-time.txt "$@" >/dev/null
    best=$(awk -v best="$best" '{ if (best == "" || $1 < best + 0) best = $1 " " $2 + $3 }
      END { print best }' run-time.txt)
    i=$((i + 1))
  done
  echo "$best"
}
fresh_out() { rm -rf "$OUT" && mkdir -p "$OUT"; }
wall_of() { echo "${1% *}"; }
cpu_of() { echo "${1#* }"; }

echo "corpus: $files files ($text of them text by name), $((bytes / 1048576)) MiB, in $WORK/corpus"
echo "packing the corpus with ilds, tar -czf, zip ..."
rm -f corpus.dat corpus.tgz corpus.zip
"$ILDS" pack corpus.dat corpus >/dev/null
tar -czf corpus.tgz -C corpus .
(cd corpus && zip -q -r ../corpus.zip .)

t_ilds_x=$(best_of fresh_out "$ILDS" extract corpus.dat "$OUT")
[ "$(find "$OUT" -type f | wc -l)" -eq "$files" ] || { echo "ilds extract lost files"; exit 1; }
diff -r corpus "$OUT" >/dev/null || { echo "ilds extract gave different files"; exit 1; }
t_tar_x=$(best_of fresh_out tar -xzf corpus.tgz -C "$OUT")
t_unzip_x=$(best_of fresh_out unzip -q corpus.zip -d "$OUT")
rm -rf "$OUT"
# The floor: inflate and CRC-32 of every entry from memory, one thread.
t_mem=$("$BENCH" --archive="$WORK/corpus.dat" --benchmark_filter=ArchiveInflateCrc \
  --benchmark_repetitions="$RUNS" --benchmark_format=csv 2>/dev/null |
  awk -F, '/ArchiveInflateCrc/ && !/_mean|_median|_stddev|_cv/ {
    t = $3 / 1000; if (best == "" || t < best) best = t } END { printf "%.3f", best }')

t_ilds_p=$(best_of "rm -f p.dat" "$ILDS" pack p.dat corpus)
t_tar_p=$(best_of "rm -f p.tgz" tar -czf p.tgz -C corpus .)
rm -f p.dat p.tgz

# --- One 1 GiB entry of mixed content (the corpus over and over).
if [ ! -f big/one.bin ] || [ "$(stat -c %s big/one.bin)" -ne 1073741824 ]; then
  mkdir -p big
  # The loop ends when head has had enough and cat's write fails.
  find corpus -type f | sort >big-sources.txt
  (while xargs -d '\n' cat <big-sources.txt; do :; done) 2>/dev/null |
    head -c 1073741824 >big/one.bin
fi
rm -f big.dat
/usr/bin/time -v "$ILDS" pack big.dat big >/dev/null 2>pack-time.txt
fresh_out
/usr/bin/time -v "$ILDS" extract big.dat "$OUT" >/dev/null 2>extract-time.txt
cmp -s big/one.bin "$OUT/one.bin" || { echo "the 1 GiB entry came back different"; exit 1; }
rm -rf "$OUT"
rss() { awk -F: '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$1"; }
wall() {
  awk '/Elapsed \(wall clock\)/ { n = split($NF, p, ":"); s = 0;
    for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.2f", s }' "$1"
}

ratio() { awk -v a="$(wall_of "$1")" -v b="$(wall_of "$2")" 'BEGIN { printf "%.2fx", a / b }'; }
row() {  # row LABEL "wall cpu" [BASELINE]
  printf '%-34s %8s %8s %7s %10s\n' "$1" "$(wall_of "$2")" "$(cpu_of "$2")" \
    "$(awk -v t="$(wall_of "$2")" -v n="$bytes" 'BEGIN { printf "%.0f", n / 1048576 / t }')" \
    "$([ -n "${3:-}" ] && ratio "$2" "$3")"
}
echo
echo "archives: ilds $(($(stat -c %s corpus.dat) / 1048576)) MiB, tar.gz $(($(stat -c %s corpus.tgz) / 1048576)) MiB, zip $(($(stat -c %s corpus.zip) / 1048576)) MiB"
echo "extracting into $OUT; best of $RUNS by wall clock; $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-34s %8s %8s %7s %10s\n' "measure" "wall s" "CPU s" "MiB/s" "ilds ahead"
row "ilds extract" "$t_ilds_x"
row "tar -xzf" "$t_tar_x" "$t_ilds_x"
row "unzip -q" "$t_unzip_x" "$t_ilds_x"
row "inflate+CRC in memory, 1 thread" "$t_mem $t_mem" "$t_ilds_x"
row "ilds pack (default level)" "$t_ilds_p"
row "tar -czf" "$t_tar_p" "$t_ilds_p"
echo
echo "one 1 GiB entry ($(($(stat -c %s big.dat) / 1048576)) MiB stored):"
echo "  ilds extract: peak RSS $(rss extract-time.txt) MiB, $(wall extract-time.txt) s"
echo "  ilds pack:    peak RSS $(rss pack-time.txt) MiB, $(wall pack-time.txt) s"
echo "goals: extract >= 1.3x tar -xzf; pack >= 1.6x tar -czf; extract of 1 GiB entry <= 64 MiB"
