#!/bin/bash
# Builds everything and runs the whole test suite under Wine and Xvfb.
# Usage: scripts/test.sh [build folder] [extra ctest arguments...]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
shift || true
"$ROOT/scripts/build.sh" "$BUILD"
cd "$BUILD"
ctest --output-on-failure "$@"
