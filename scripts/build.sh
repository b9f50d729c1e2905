#!/bin/bash
# Configures and builds the installer and its tests with mingw-w64.
# Usage: scripts/build.sh [build folder]   (default: build)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
"$ROOT/scripts/install-deps.sh"
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
          -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$BUILD" -j"$(nproc)"
