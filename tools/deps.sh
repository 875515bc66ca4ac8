#!/usr/bin/env bash
# Installs what building and testing VQDINST needs on Debian 12: the MinGW
# cross compiler for the product, g++ and GoogleTest for the host build, and
# a 32-bit Wine for the end-to-end tests and for running the program.
# Idempotent: when everything is installed it only asks dpkg and returns.
#
#   tools/deps.sh [PACKAGE]...   also the packages named (tools/screenshots.sh
#                                names the X server and image tools it needs)
set -euo pipefail

packages=(
    cmake g++ make libgtest-dev python3-pefile
    g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 mingw-w64-tools
    wine wine32:i386 wine64 fonts-wine
    nsis    # makensis, for the example setup program (examples/nsis)
    wixl msitools   # wixl, msibuild, msidump: the example Windows Installer package (examples/msi)
    osslsigncode    # signing the program, the custom action and the package (README, msi.sh)
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
    [ "$status" = "ii " ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "deps.sh: missing packages: ${missing[*]}" >&2
    echo "deps.sh: run tools/deps.sh as root to install them" >&2
    exit 1
fi

echo "deps.sh: installing ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
