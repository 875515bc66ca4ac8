#!/usr/bin/env bash
# Fixture: a second vqdinst.exe whose payload is newer in every file, as the
# next release of a product would carry it. The life tests upgrade with it.
#
#   tests/e2e/newer_build.sh SOURCE_DIR BUILD_DIR
#
# BUILD_DIR/vqdinst.exe is the result; BUILD_DIR/newer-payload holds its files.
set -u
[ $# -eq 2 ] || { echo "usage: newer_build.sh SOURCE_DIR BUILD_DIR" >&2; exit 2; }
src=$(cd "$1" && pwd) || exit 2
mkdir -p "$2" && build=$(cd "$2" && pwd) || exit 2
files="$build/newer-payload"
rm -rf "$files" && mkdir -p "$files" || exit 2
log="$build/newer-build.log"

{
  cmake -S "$src/tools" -B "$build/tools" -DCMAKE_BUILD_TYPE=Release &&
    cmake --build "$build/tools" --target mkvxd &&
    sh "$src/tools/mkpe.sh" "$files/VQD.SYS" 6.0.1.7 &&
    sh "$src/tools/mkpe.sh" "$files/VQD2K.SYS" 6.1.2.8 &&
    "$build/tools/mkvxd" "$files/MERIDAX.VXD" 4.90.0.3000 --product "MERIDAX VxD"
} >"$log" 2>&1 || { echo "generating the newer drivers failed, see $log" >&2; exit 1; }

cr=$'\r'
sed -e "s/^;Ver=[^$cr]*/;Ver=6.1.2.8/" -e "1s/^.*$/; VQD2K.INF of the newer release$cr/" \
  "$src/payload/VQD2K.INF" >"$files/VQD2K.INF"
sed -e "s/^@=\"[^$cr]*/@=\"2.0.0.99\"/" "$src/payload/DRIVEDB.REG" >"$files/DRIVEDB.REG"
printf 'newer catalog\0' >"$files/VQD2K.CAT"
cat >"$files/payload.txt" <<'TIMES'
# The newer release's files.
VQD.SYS       -  created 2005-01-02 03:04:05  accessed 2005-01-03 04:05:06  written 2005-01-01 02:03:04
VQD2K.SYS     -  created 2005-01-02 03:04:05  accessed 2005-01-03 04:05:06  written 2005-01-01 02:03:14
VQD2K.INF     -  created 2005-01-02 03:04:15  accessed 2005-01-03 04:05:16  written 2005-01-01 02:03:24
VQD2K.CAT     -  created 2005-01-02 03:04:25  accessed 2005-01-03 04:05:26  written 2005-01-01 02:03:34
MERIDAX.VXD   -  created 2000-06-15 08:00:00  accessed 2005-01-03 04:05:36  written 2000-06-14 20:30:40
DRIVEDB.REG   -  created 2005-01-02 03:04:45  accessed 2005-01-03 04:05:46  written 2005-01-01 02:03:54
TIMES

if ! { cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$src/tools/mingw32.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DVQDINST_PAYLOAD_DIR="$files" && cmake --build "$build" --target vqdinst -j2; } >>"$log" 2>&1; then
  echo "building the newer vqdinst.exe failed, see $log" >&2
  exit 1
fi
echo "newer build ready: $build/vqdinst.exe"
cat "$build/payload/payload-versions.txt"
