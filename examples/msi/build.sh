#!/usr/bin/env bash
# Builds the example Windows Installer package (burner.wxs) with wixl around
# the vqdinst.exe and vqdaction.dll of a win32 build.
#
#   examples/msi/build.sh [OPTIONS] OUT.msi
#     --win32 DIR          the win32 build (default: build/win32 of this tree)
#     --name TEXT          product name, also its folder under Program Files
#                          (default: VQD Example Burner)
#     --product-code GUID  required: the vendor's own, new for every major version
#     --upgrade-code GUID  required: the vendor's own, the same in every version
#     --version X.Y.Z      product version (default: 1.0.0)
#
# Needs wixl and msibuild (Debian packages wixl and msitools; tools/deps.sh).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
win32="$here/../../build/win32"
name="VQD Example Burner"
product=
upgrade=
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
# No shared defaults: two vendors shipping the same codes would remove or
# upgrade each other's products.
guid='^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$'
for code in "$product" "$upgrade"; do
    [[ $code =~ $guid ]] ||
        { echo "build.sh: --product-code and --upgrade-code need GUIDs of your own ({XXXXXXXX-...}, upper case)" >&2; exit 2; }
done
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
# wixl marks the property-setting actions "no impersonation" (2099): a
# property action is type 51.
msibuild "$stage/package.msi" -q "UPDATE CustomAction SET Type=51 WHERE Type=2099"
# wixl writes rollback and commit actions as immediate ones: the types as
# Windows Installer defines them (1 DLL from the Binary table, 64 return
# ignored, 256 rollback, 512 commit, 1024 deferred, 2048 no impersonation).
msibuild "$stage/package.msi" -q "UPDATE CustomAction SET Type=3393 WHERE Action='VqdInstallRollback' OR Action='VqdRemoveRollback'"
msibuild "$stage/package.msi" -q "UPDATE CustomAction SET Type=3649 WHERE Action='VqdRemoveCommit'"
# What wixl does not write: the folder's short name (first letters of the
# name and two hex digits of its checksum), the File row's version and
# language (from vqdinst.exe's version resource: a repair then compares
# versions, not dates), and the Error table messages the actions report.
short=$(printf '%s' "$name" | tr -cd 'A-Za-z0-9' | tr a-z A-Z | cut -c1-6)
short="${short:-VQD}$(printf '%s' "$name" | cksum | awk '{printf "%02X", $1 % 256}')"
verlang=$(python3 - "$win32/vqdinst.exe" <<'PY'
# The program's own version resource (type 16), found through the resource
# directory: the carried drivers hold version blocks of their own, stored
# earlier in the file, and a signed file ends in a certificate table.
import struct, sys
data = open(sys.argv[1], "rb").read()
u16 = lambda at: struct.unpack_from("<H", data, at)[0]
u32 = lambda at: struct.unpack_from("<I", data, at)[0]
pe = u32(0x3C)
sections = [struct.unpack_from("<IIII", data, pe + 24 + u16(pe + 20) + 40 * i + 8) for i in range(u16(pe + 6))]
def offset(rva):  # file offset of an address of the image
    for size, va, raw_size, raw in sections:
        if va <= rva < va + max(size, raw_size):
            return rva - va + raw
    sys.exit(1)
root = offset(u32(pe + 24 + 96 + 2 * 8))  # data directory 2, the resources
def entry(directory, wanted=None):  # an entry's target: the ID wanted, or the first
    count = u16(directory + 12) + u16(directory + 14)
    for at in range(directory + 16, directory + 16 + 8 * count, 8):
        if wanted is None or u32(at) == wanted:
            return root + (u32(at + 4) & 0x7FFFFFFF)
    sys.exit(1)
found = entry(entry(entry(root, 16)))
block = data[offset(u32(found)):offset(u32(found)) + u32(found + 4)]
if block[40:44] != b"\xbd\x04\xef\xfe":  # VS_FIXEDFILEINFO after "VS_VERSION_INFO"
    sys.exit(1)
ms, ls = struct.unpack_from("<II", block, 48)
tr = block.find("Translation".encode("utf-16-le"))
lang = struct.unpack_from("<H", block, (tr + 24 + 3) & ~3)[0] if tr >= 0 else 0
print(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}", lang)
PY
) || { echo "build.sh: no version resource in $win32/vqdinst.exe" >&2; exit 1; }
read -r filever filelang <<<"$verlang"
msibuild "$stage/package.msi" -q "UPDATE Directory SET DefaultDir='$short|$name' WHERE Directory='INSTALLDIR'"
msibuild "$stage/package.msi" -q "UPDATE File SET Version='$filever', Language='$filelang' WHERE File='VqdinstExe'"
msibuild "$stage/package.msi" -q "INSERT INTO Error (Error, Message) VALUES (25000, 'The VQD driver could not be put in place: [2]. See the installation log.')"
msibuild "$stage/package.msi" -q "INSERT INTO Error (Error, Message) VALUES (25001, 'The VQD driver was left as it was: [2]. The uninstall goes on.')"
mv "$stage/package.msi" "$out"
