#!/bin/bash
# Installs the Debian packages the build, the tests and the demo need, if missing.
# Every package is named here: apt runs with --no-install-recommends, so nothing
# may come in only as somebody's Recommends (a fresh minimal Debian has none of them).
set -euo pipefail
packages=(
    # build
    cmake make g++ python3 git
    g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    googletest
    # Wine and what its drivers load at run time (Recommends of libwine):
    # Tahoma for DirectWrite, TLS for WinINet's HTTPS, the X extensions of the
    # X11 driver, host fonts GDI substitutes with
    wine wine64 fonts-wine fonts-liberation libgnutls30
    libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxfixes3 libxxf86vm1
    # Windows Installer packages for the tests and the demo
    wixl msitools
    # display, screenshots, window driving
    xvfb x11-utils imagemagick xdotool
    # XML fuzzer, test certificates, loopback clients
    clang libclang-rt-dev
    openssl curl
    # test code-signing: certificates by openssl, Authenticode signatures
    osslsigncode
    # the transfer benchmark's server (scripts/benchmark-transfer.sh)
    nginx
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
