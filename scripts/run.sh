#!/bin/bash
# Builds the installer and runs it under Wine: in a window on the user's display
# when one is reachable, otherwise under Xvfb with screenshots saved.
# Usage: scripts/run.sh [installer options...]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KELM_BUILD:-$ROOT/build}"
"$ROOT/scripts/build.sh" "$BUILD"
USER_DISPLAY="${DISPLAY:-}"

"$ROOT/tests/harness/setup.sh" "$BUILD" >/dev/null
export KELM_BUILD_DIR="$BUILD"
. "$ROOT/tests/harness/wine-env.sh"
trap '"$ROOT/tests/harness/cleanup.sh" "$BUILD" >/dev/null' EXIT

if [ -n "$USER_DISPLAY" ] && xdpyinfo -display "$USER_DISPLAY" >/dev/null 2>&1; then
    DISPLAY="$USER_DISPLAY" wine "$BUILD/app/KelmWebInstaller.exe" "$@"
    exit $?
fi

SHOTS="$BUILD/screenshots"
mkdir -p "$SHOTS"
wine "$BUILD/app/KelmWebInstaller.exe" "$@" </dev/null >"$KELM_HARNESS_DIR/run.log" 2>&1 &
pid=$!
sleep 5
import -display "$DISPLAY" -window root -crop 1000x700+0+0 "$SHOTS/installer.png"
echo "no display: ran under Xvfb ($DISPLAY); screenshot saved to $SHOTS/installer.png"
kill "$pid" 2>/dev/null || true
