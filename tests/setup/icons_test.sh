#!/bin/sh
# The links name setup.exe's icons by index (0 the program, 1 the uninstall link, 2 the web
# log-on links): the program must carry three icon groups, in that order by their IDs 1 to 3.
# Usage: icons_test.sh SETUP.EXE
groups=$(x86_64-w64-mingw32-objdump -p "$1" | awk '
  /^[0-9a-f]+   Entry: ID:/ { group = ($4 == "0x00000e,") }
  group && /^[0-9a-f]+     Entry: ID:/ { sub(/,$/, "", $4); printf "%s ", $4 }')
[ "$groups" = "0x000001 0x000002 0x000003 " ] && exit 0
echo "icon groups of $1: ${groups:-none}"
exit 1
