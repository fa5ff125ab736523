#!/bin/sh
# Fails when a Windows executable imports a DLL that a clean Windows does not have.
# With --known-dlls, fails on any DLL but the KnownDLLs (and comctl32, which the
# manifest binds to the side-by-side copy): Windows looks for any other DLL an
# import table names in the program's own folder first, and setup.exe runs
# elevated from wherever it was downloaded.
# Usage: check-imports.sh [--known-dlls] EXE
set -eu
allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
comctl32.dll comdlg32.dll ws2_32.dll mpr.dll bcrypt.dll ncrypt.dll crypt32.dll secur32.dll
iphlpapi.dll version.dll msvcrt.dll shlwapi.dll uuid.dll winmm.dll psapi.dll rpcrt4.dll
api-ms-win-crt-runtime-l1-1-0.dll"
if [ "$1" = --known-dlls ]; then
  # On the KnownDLLs list of every Windows from 7 to 11; ntdll is always loaded.
  allowed="ntdll.dll kernel32.dll advapi32.dll clbcatq.dll comdlg32.dll gdi32.dll imagehlp.dll
imm32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll
rpcrt4.dll sechost.dll setupapi.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll
comctl32.dll"
  shift
fi
exe="$1"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no imports found in $exe"; exit 1; }
bad=0
for dll in $imports; do
  case " $(echo $allowed) " in
    *" $dll "*) ;;
    *) echo "not allowed: $dll"; bad=1 ;;
  esac
done
echo "imports:" $imports
exit $bad
