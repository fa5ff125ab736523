#!/bin/sh
# Configures and builds both targets: build/native (g++, with sanitizers) and
# build/windows (mingw-w64); once both are built, makes the demo package in
# build/windows/demo/ (and its damaged variants in build/windows/demo-damaged/).
# Usage: build.sh [native|windows|all]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)
which="${1:-all}"
if [ "$which" = native ] || [ "$which" = all ]; then
  cmake -S "$ROOT" -B "$ROOT/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIK_SANITIZE=ON
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
