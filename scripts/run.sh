#!/bin/bash
# The demo from a fresh clone: installs missing Debian packages, builds the
# installer and the demo product, lays out the installer folder, starts the
# demo's package server on 127.0.0.1 and installs the demo product with the
# installer under Wine: in a window when $DISPLAY is reachable, otherwise under
# Xvfb with the wizard answered automatically and every page saved as a
# screenshot. Ends by telling what was installed where.
#
# Usage: scripts/run.sh [--update] [--silent] [--lang ID] [--automatic] [--keep]
#                       [-- installer options...]
# Environment: KELM_BUILD names the build folder (default: build).
# Options: see demo/run-demo.sh --help and docs/demo.md.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KELM_BUILD:-$ROOT/build}"
"$ROOT/scripts/build.sh" "$BUILD"
exec "$ROOT/demo/run-demo.sh" --build "$BUILD" "$@"
