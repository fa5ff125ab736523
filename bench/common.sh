# What the benchmark scripts share, sourced (POSIX sh) by extract_bench.sh and install_bench.sh.

# release_build ROOT BUILD TARGET...: the targets in BUILD, a Release tree without sanitizers or
# tests (configured when missing), brought up to date with the sources every time, so that a
# benchmark never measures programs built from older code.
release_build() {
  release_root=$1 release_tree=$2
  shift 2
  [ -f "$release_tree/CMakeCache.txt" ] ||
    cmake -S "$release_root" -B "$release_tree" -DCMAKE_BUILD_TYPE=Release -DORVIK_TESTS=OFF >/dev/null
  cmake --build "$release_tree" --target "$@" -j 2 >/dev/null
}

# make_corpus MB fills ./corpus (in the current folder) with regular files of /usr/lib and
# /usr/share of 1 byte to 32 MiB whose names Windows can hold, in sorted order; every k-th of
# them, k chosen so that about MB megabytes are taken. The same machine gives the same corpus;
# it is kept (./corpus.done) and reused. CORPUS_FILES and CORPUS_BYTES then hold its size.
make_corpus() {
  [ -f corpus.done ] || new_corpus "$1"
  CORPUS_FILES=$(find corpus -type f | wc -l)
  CORPUS_BYTES=$(du -sb corpus | cut -f1)
}

new_corpus() {
  rm -rf corpus
  find /usr/lib /usr/share -type f -size +0c -size -32M -readable -printf '%s\t%p\n' 2>/dev/null |
    awk -F '\t' '$2 !~ /[<>:"|?*\\]|[. ]\/|[. ]$|[[:cntrl:]]/ && length($2) < 250 &&
      tolower($2) !~ /\/(con|prn|aux|nul|com[1-9]|lpt[1-9])(\.[^\/]*)?(\/|$)/' |
    sort -t "$(printf '\t')" -k2 >all-files.txt
  # Paths whose file or any folder equals another without regard to case are left out: Windows
  # (and the extractor, which keeps its rules) would put them in one place.
  awk -F '\t' -v target=$(($1 * 1048576)) '
    NR == FNR {
      n = split($2, part, "/"); prefix = ""
      for (i = 2; i <= n; i++) {
        prefix = prefix "/" part[i]; low = tolower(prefix)
        if (!(low in seen)) seen[low] = prefix; else if (seen[low] != prefix) twin[low] = 1
      }
      next
    }
    {
      n = split($2, part, "/"); prefix = ""; bad = 0
      for (i = 2; i <= n; i++) { prefix = prefix "/" part[i]; if (tolower(prefix) in twin) bad = 1 }
      if (!bad) { size[++count] = $1; path[count] = $2; total += $1 }
    }
    END {
      step = int(total / target); if (step < 1) step = 1
      for (i = step; i <= count && sum + size[i] <= target; i += step) {
        sum += size[i]; print path[i]
      }
    }' all-files.txt all-files.txt >corpus-files.txt
  mkdir corpus
  while IFS= read -r f; do cp --parents "$f" corpus/ 2>/dev/null || true; done <corpus-files.txt
  touch corpus.done
}
