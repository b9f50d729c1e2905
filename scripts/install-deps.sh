#!/bin/bash
# Installs the Debian packages the build, the tests and the demo need, if missing.
set -euo pipefail
packages=(
    cmake make g++ python3 git
    g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    wine wine64 wixl msitools
    xvfb x11-utils imagemagick xdotool
    googletest
    clang libclang-rt-dev
    openssl curl
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
