#!/bin/sh
# The native tools ship: they hold the real posix ports only, no function or data of the
# simulated system. Fails naming the simulator's symbols a tool holds.
# Usage: real_ports_test.sh "SIMULATOR_OBJECT;..." TOOL...
set -eu
simulator=$(mktemp)
trap 'rm -f "$simulator"' EXIT
# The simulator's own definitions: strong global symbols (weak ones are shared template code).
echo "$1" | tr ';' '\n' | xargs nm -g --defined-only | awk 'NF == 3 && $2 ~ /^[TDBR]$/ {print $3}' |
  sort -u >"$simulator"
[ -s "$simulator" ] || { echo "no symbols in the simulator's objects"; exit 1; }
shift
status=0
for tool in "$@"; do
  held=$(nm --defined-only "$tool" | awk 'NF == 3 {print $3}' | sort -u | comm -12 "$simulator" -)
  if [ -n "$held" ]; then
    echo "$tool holds the simulator:"
    echo "$held" | c++filt | head
    status=1
  fi
done
[ "$status" -ne 0 ] || echo "the tools hold none of the simulator's $(wc -l <"$simulator") symbols"
exit "$status"
