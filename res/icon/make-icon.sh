#!/bin/bash
# Draws the program icon (resource 101): a flat dark tile with a blue disc and a
# white play mark, in the sizes Windows picks from, all in one .ico file.
# Usage: res/icon/make-icon.sh   (writes res/icon/installer.ico; needs ImageMagick)
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Drawn once at 256 px; the smaller sizes are scaled down from it.
convert -size 256x256 xc:none \
    -fill '#18191e' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill '#07a5d8' -draw 'circle 128,128 128,40' \
    -fill '#ffffff' -draw 'polygon 106,86 106,170 178,128' \
    "PNG32:$work/icon-256.png"
convert "$work/icon-256.png" -define icon:auto-resize=256,64,48,32,24,16 "$HERE/installer.ico"
identify "$HERE/installer.ico"
