#!/bin/sh
# Files named like the DLLs the platform layer loads at run time, put beside a
# program, are never loaded: the program starts, and its hashes and network
# parameters come from the system's own DLLs. A file that is no DLL at all
# stops a program that would load it before System32.
# Usage: planted_dlls_test.sh PLATFORM_TESTS.exe WINE_RUN
set -eu
exe="$1"
run="$2"
dir=$(mktemp -d "${TMPDIR:-/tmp}/orvik-planted-XXXXXX")
trap 'rm -rf "$dir"' EXIT
cp "$exe" "$dir/"
for dll in bcrypt crypt32 iphlpapi mpr secur32; do
  echo "not a DLL" >"$dir/$dll.dll"
done
set +e
"$run" "$dir/$(basename "$exe")" \
  --gtest_filter='Sha1.*:Md5.*:HmacMd5.*:LocalAddresses.*:DnsServers.*' >"$dir/out.txt" 2>&1
status=$?
set -e
cat "$dir/out.txt"
[ "$status" -eq 0 ] || { echo "the program failed beside the planted files ($status)"; exit 1; }
# A filter that matched nothing would pass as well.
grep -Eq '^\[  PASSED  \] [1-9][0-9]* tests?\.' "$dir/out.txt" || { echo "no test ran"; exit 1; }
