#!/usr/bin/env bash
# Builds the example Windows Installer package (burner.wxs) with wixl around
# the vqdinst.exe and vqdaction.dll of a win32 build.
#
#   examples/msi/build.sh [OPTIONS] OUT.msi
#     --win32 DIR          the win32 build (default: build/win32 of this tree)
#     --name TEXT          product name, also its folder under Program Files
#                          (default: VQD Example Burner)
#     --product-code GUID  (default: {6D1F3C2A-5B7E-4E0F-9A41-2C8B7D0E5F13})
#     --upgrade-code GUID  (default: {0E9A4B6C-3D2F-4A18-B7C5-91E2F4A6D830})
#     --version X.Y.Z      product version (default: 1.0.0)
#
# Needs wixl and msibuild (Debian packages wixl and msitools; tools/deps.sh).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
win32="$here/../../build/win32"
name="VQD Example Burner"
product="{6D1F3C2A-5B7E-4E0F-9A41-2C8B7D0E5F13}"
upgrade="{0E9A4B6C-3D2F-4A18-B7C5-91E2F4A6D830}"
version=1.0.0
out=
while [ $# -gt 0 ]; do
    case $1 in
        --win32) win32=$2; shift 2 ;;
        --name) name=$2; shift 2 ;;
        --product-code) product=$2; shift 2 ;;
        --upgrade-code) upgrade=$2; shift 2 ;;
        --version) version=$2; shift 2 ;;
        -*) echo "build.sh: unknown option $1" >&2; exit 2 ;;
        *) out=$1; shift ;;
    esac
done
[ -n "$out" ] || { echo "usage: examples/msi/build.sh [OPTIONS] OUT.msi" >&2; exit 2; }
for f in vqdinst.exe vqdaction.dll; do
    [ -f "$win32/$f" ] || { echo "build.sh: $win32/$f missing (build the win32 build first)" >&2; exit 1; }
done
command -v wixl >/dev/null && command -v msibuild >/dev/null ||
    { echo "build.sh: wixl and msibuild needed (packages wixl, msitools)" >&2; exit 1; }

# wixl takes source files only by names relative to the WiX source: build
# in a folder of copies.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$here/burner.wxs" "$win32/vqdinst.exe" "$win32/vqdaction.dll" "$stage/"
(cd "$stage" && wixl -a x86 -o package.msi \
    -D ProductName="$name" -D ProductCode="$product" -D UpgradeCode="$upgrade" -D ProductVersion="$version" \
    -D Vqdinst=vqdinst.exe -D VqdAction=vqdaction.dll burner.wxs)
# wixl marks the property-setting actions "no impersonation" and cannot
# write an action that runs a program from the Binary table: the types as
# Windows Installer defines them (2 program from the Binary table, 51
# property, 64 return ignored, 256 rollback, 1024 deferred, 2048 no
# impersonation).
msibuild "$stage/package.msi" -q "UPDATE CustomAction SET Type=51 WHERE Type=2099"
msibuild "$stage/package.msi" -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('VqdInstallRollback', 3394, 'VqdinstRollbackExe', '/REMOVE /NOFLAG')"
mv "$stage/package.msi" "$out"
