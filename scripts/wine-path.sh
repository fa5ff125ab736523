# Sourced (POSIX sh) with ORVIK_ROOT set to the repository: makes `wine` on PATH Wine's 64-bit
# loader when the machine cannot run Wine's 32-bit one. With wine32 installed, Debian's `wine`
# always starts the 32-bit loader, which fails on a kernel without 32-bit support; every program
# here is 64-bit, and the 64-bit loader runs them the same way (reg.exe is then the 64-bit one,
# which /reg:64 names anyway).
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  mkdir -p "$ORVIK_ROOT/build/winebin"
  # Written under a name of its own and renamed: parallel tests may do this at once.
  printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
    >"$ORVIK_ROOT/build/winebin/wine.$$"
  chmod +x "$ORVIK_ROOT/build/winebin/wine.$$"
  mv -f "$ORVIK_ROOT/build/winebin/wine.$$" "$ORVIK_ROOT/build/winebin/wine"
  case ":$PATH:" in
    *":$ORVIK_ROOT/build/winebin:"*) ;;
    *) PATH=$ORVIK_ROOT/build/winebin:$PATH ;;
  esac
  export PATH
fi
