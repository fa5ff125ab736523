#!/bin/sh
# Holds the includes of the code to the libraries each folder declares in CMake: a file of
# src/FOLDER (or tools/NAME) may include "X/..." only from its own folder or from a library
# orvik_X that its target links directly. Also fails when the declared libraries form a cycle.
# Usage: check-layers.sh LAYERS_FILE SOURCE_ROOT   (LAYERS_FILE is build/<tree>/layers.txt)
set -eu
layers=$1
root=$2
status=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
while IFS= read -r line; do
  folder=${line%%:*}
  libs=$(echo "${line#*:}" | tr ';' ' ')
  own=$(basename "$folder")
  for lib in $libs; do
    case $lib in orvik_*) echo "orvik_$own ${lib}" >>"$edges" ;; esac
  done
  [ "${folder%%/*}" = src ] || own=
  includes=$(grep -rhoE '^#include "[a-z_0-9]+/' "$root/$folder" --include='*.cpp' --include='*.h' |
    sed 's/#include "//; s#/$##' | sort -u)
  for dir in $includes; do
    [ "$dir" = "$own" ] && continue
    [ -d "$root/src/$dir" ] || continue
    case " $libs " in
      *" orvik_$dir "*) ;;
      *)
        echo "$folder includes $dir/ but its library does not link orvik_$dir:"
        grep -rnE "^#include \"$dir/" "$root/$folder" --include='*.cpp' --include='*.h' | head -3
        status=1
        ;;
    esac
  done
done <"$layers"
# tsort names the libraries of a loop on its standard error.
if ! tsort "$edges" >/dev/null 2>&1; then
  echo "the libraries depend on each other in a loop:"
  tsort "$edges" 2>&1 >/dev/null | head
  status=1
fi
[ "$status" -eq 0 ] && echo "every include follows a declared dependency; no loop"
exit "$status"
