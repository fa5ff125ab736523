#!/bin/sh
# Configures and builds both targets: build/native (clang, with sanitizers; it also builds the
# fuzz targets) and build/windows (mingw-w64); once both are built, makes the demo package in
# build/windows/demo/ (and its damaged variants in build/windows/demo-damaged/).
# Usage: build.sh [native|windows|all]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)
which="${1:-all}"
if [ "$which" = native ] || [ "$which" = all ]; then
  # A tree configured with another compiler (g++ before) is configured again from scratch.
  cache=$ROOT/build/native/CMakeCache.txt
  if [ -f "$cache" ] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$cache"; then
    rm -rf "$cache" "$ROOT/build/native/CMakeFiles"
  fi
  cmake -S "$ROOT" -B "$ROOT/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIK_SANITIZE=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
  cmake --build "$ROOT/build/native" -j "$JOBS"
fi
if [ "$which" = windows ] || [ "$which" = all ]; then
  cmake -S "$ROOT" -B "$ROOT/build/windows" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake"
  cmake --build "$ROOT/build/windows" -j "$JOBS"
fi
NATIVE="$ROOT/build/native"
WINDOWS="$ROOT/build/windows"
if [ -x "$NATIVE/tools/ilds/ilds" ] && [ -x "$NATIVE/tools/srvcfg/srvcfg" ] &&
  [ -f "$WINDOWS/src/setup.exe" ]; then
  sh "$ROOT/testbed/package/make-package.sh" demo "$NATIVE/tools/ilds/ilds" \
    "$NATIVE/tools/srvcfg/srvcfg" "$WINDOWS" "$WINDOWS/demo" "$WINDOWS/demo-damaged"
  echo "Demo package: $WINDOWS/demo/"
fi
