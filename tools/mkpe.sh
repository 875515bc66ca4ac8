#!/bin/sh
# mkpe.sh: writes a minimal native-subsystem i686 PE (a do-nothing driver)
# with version information.
#
#   mkpe.sh OUT.SYS FILEVERSION [--no-version]
#
# FILEVERSION is the FileVersion string; its leading "a.b.c.d" also gives the
# fixed file and product versions. --no-version leaves out the resource.
# The tools can be overridden with VQD_MINGW_CC and VQD_WINDRES.
set -eu

usage() { echo "usage: mkpe.sh OUT.SYS FILEVERSION [--no-version]" >&2; exit 2; }
[ $# -ge 2 ] && [ $# -le 3 ] || usage
out=$1
version=$2
with_version=1
if [ $# -eq 3 ]; then
  [ "$3" = "--no-version" ] || usage
  with_version=0
fi
cc=${VQD_MINGW_CC:-i686-w64-mingw32-gcc}
windres=${VQD_WINDRES:-i686-w64-mingw32-windres}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cat >"$tmp/driver.c" <<'EOF'
long __stdcall DriverEntry(void* a, void* b) { (void)a; (void)b; return 0; }
EOF
objects=driver.o
(cd "$tmp" && "$cc" -c -O2 -ffreestanding -o driver.o driver.c)

if [ "$with_version" = 1 ]; then
  # "a.b.c.d..." -> "a,b,c,d" (missing parts are 0).
  fixed=$(printf '%s\n' "$version" | { grep -oE '^[0-9]+(\.[0-9]+){0,3}' || true; } |
    awk -F. '{ printf "%d,%d,%d,%d", $1, $2, $3, $4 } END { if (NR == 0) printf "0,0,0,0" }')
  # Resource strings: backslashes and double quotes escaped.
  text=$(printf '%s' "$version" | sed -e 's/\\/\\\\/g' -e 's/"/""/g')
  cat >"$tmp/version.rc" <<EOF
1 VERSIONINFO
FILEVERSION $fixed
PRODUCTVERSION $fixed
FILEFLAGSMASK 0x3f
FILEFLAGS 0
FILEOS 0x40004
FILETYPE 3
FILESUBTYPE 7
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "FileVersion", "$text"
      VALUE "ProductName", "VQD test driver"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
EOF
  (cd "$tmp" && "$windres" -O coff -i version.rc -o version.o)
  objects="$objects version.o"
fi

# shellcheck disable=SC2086  # objects: file names without blanks
(cd "$tmp" && "$cc" -nostdlib -nostartfiles -ffreestanding -Wl,--subsystem,native \
  -Wl,-e,_DriverEntry@8 -Wl,--no-insert-timestamp -s -o out.sys $objects)
cp "$tmp/out.sys" "$out"
