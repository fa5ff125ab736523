#!/bin/sh
# Fails when a Windows executable imports a DLL that a clean Windows does not have.
set -eu
exe="$1"
allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
comctl32.dll comdlg32.dll ws2_32.dll mpr.dll bcrypt.dll ncrypt.dll crypt32.dll secur32.dll
iphlpapi.dll version.dll msvcrt.dll shlwapi.dll uuid.dll winmm.dll psapi.dll rpcrt4.dll
api-ms-win-crt-runtime-l1-1-0.dll"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no imports found in $exe"; exit 1; }
bad=0
for dll in $imports; do
  case " $(echo $allowed) " in
    *" $dll "*) ;;
    *) echo "not a system DLL: $dll"; bad=1 ;;
  esac
done
echo "imports:" $imports
exit $bad
