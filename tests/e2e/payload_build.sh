#!/usr/bin/env bash
# The payload of the win32 build taken from a folder of other files
# (VQDINST_PAYLOAD_DIR): the versions mkpayload reports, the date records and
# the resources of vqdinst.exe; a changed payload file rebuilds the exe; a
# broken folder stops the build with mkpayload's message.
#
#   tests/e2e/payload_build.sh SOURCE_DIR BUILD_DIR
#
# BUILD_DIR is a win32 build of its own (for example build/win32-otherpayload);
# the payload folders are made in it. Exit code 0 when every check passed, 1
# when one failed, 2 when the script could not run.
set -u

[ $# -eq 2 ] || { echo "usage: payload_build.sh SOURCE_DIR BUILD_DIR" >&2; exit 2; }
src=$(cd "$1" && pwd) || exit 2
mkdir -p "$2" && build=$(cd "$2" && pwd) || exit 2
work="$build/e2e payload"  # a blank in the path on purpose
logs="$build/e2e-logs"
rm -rf "$work" "$logs"
mkdir -p "$work" "$logs"

failures=0
check() {  # WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    echo "ok    $1"
  else
    echo "FAIL  $1"
    printf '  expected: %s\n  actual:   %s\n' "$2" "$3"
    failures=$((failures + 1))
  fi
}
die() { echo "ERROR: $*" >&2; exit 2; }

# FILETIME of a UTC date: 100 ns units since 1601-01-01.
filetime() { echo $(( ($(date -u -d "$1" +%s) + 11644473600) * 10000000 )); }

# ---- a payload folder of other files
if ! { cmake -S "$src/tools" -B "$build/e2e-tools" -DCMAKE_BUILD_TYPE=Release &&
  cmake --build "$build/e2e-tools" --target mkvxd; } >"$logs/tools.log" 2>&1; then
  die "building mkvxd, see $logs/tools.log"
fi

good="$work/good"
mkdir -p "$good"
if ! { sh "$src/tools/mkpe.sh" "$good/VQD.SYS" 6.0.1.7 &&
  sh "$src/tools/mkpe.sh" "$good/VQD2K.SYS" "6.1.2.8 (e2e build)" &&
  "$build/e2e-tools/mkvxd" "$good/MERIDAX.VXD" 4.90.0.3000 --product "E2E VXD"; }; then
  die "generating the drivers"
fi
cr=$'\r'
sed -e "s/^;Ver=[^$cr]*/;Ver=6.1.2.8/" -e "s/^DriverVer=[^$cr]*/DriverVer=01\/02\/2005,6.1.2.8/" \
  -e "1s/^.*$/; E2E-INF-MARKER-ONE$cr/" "$src/payload/VQD2K.INF" >"$good/VQD2K.INF"
sed -e "s/^@=\"[^$cr]*/@=\"2.0.0.99\"/" -e "s/ACME CDR-4X/E2E-REG-MARKER/" "$src/payload/DRIVEDB.REG" >"$good/DRIVEDB.REG"
printf 'E2E-CAT-MARKER\0\1\2\377' >"$good/vqd2k.cat"  # found without regard to case
cat >"$good/payload.txt" <<'EOF'
# Other payload for the build test.
VQD.SYS       -  created 1999-12-31 23:59:59  accessed 2000-01-01 00:00:01  written 1999-12-30 12:00:00
VQD2K.SYS     -  created 2005-01-02 03:04:05  accessed 2005-01-03 04:05:06  written 2005-01-01 02:03:04
VQD2K.INF     -  created 2005-01-02 03:04:15  accessed 2005-01-03 04:05:16  written 2005-01-01 02:03:14
VQD2K.CAT     -  created 2005-01-02 03:04:25  accessed 2005-01-03 04:05:26  written 2005-01-01 02:03:24
MERIDAX.VXD   -  created 2000-06-15 08:00:00  accessed 2005-01-03 04:05:36  written 2000-06-14 20:30:40
DRIVEDB.REG   -  created 2037-12-31 23:59:58  accessed 1980-01-01 00:00:00  written 2001-09-09 01:46:40
EOF
if ! grep -q "^;Ver=6.1.2.8$cr\$" "$good/VQD2K.INF" || ! grep -q "^@=\"2.0.0.99\"$cr\$" "$good/DRIVEDB.REG"; then
  die "editing the INF or REG copy"
fi

configure() {  # PAYLOAD_DIR [TIMES_FILE]
  cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$src/tools/mingw32.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DVQDINST_PAYLOAD_DIR="$1" -DVQDINST_PAYLOAD_TIMES="${2:-}" >"$logs/configure.log" 2>&1
}
build_exe() { cmake --build "$build" --target vqdinst -j2 >"$logs/build.log" 2>&1; }

# ---- the good folder
configure "$good" || die "configure failed, see $logs/configure.log"
build_exe || die "build failed, see $logs/build.log"
out="$build/payload"
check "versions read" "DRIVEDB.REG: 2.0.0.99
VQD.SYS: 6.0.1.7
VQD2K.SYS: 6.1.2.8 (e2e build)
MERIDAX.VXD: 4.90.0.3000
VQD2K.INF: 6.1.2.8
VQD2K.CAT: N/A" "$(cat "$out/payload-versions.txt")"

record() { od -An -t u8 -v "$out/$1.date" | xargs; }
check "VQD.SYS times" "$(filetime '1999-12-31 23:59:59') $(filetime '2000-01-01 00:00:01') $(filetime '1999-12-30 12:00:00')" "$(record VQD.SYS)"
check "MERIDAX.VXD times" "$(filetime '2000-06-15 08:00:00') $(filetime '2005-01-03 04:05:36') $(filetime '2000-06-14 20:30:40')" "$(record MERIDAX.VXD)"
check "DRIVEDB.REG times" "137903903980000000 119600064000000000 126444736000000000" "$(record DRIVEDB.REG)"
for f in VQD.SYS VQD2K.SYS MERIDAX.VXD VQD2K.INF DRIVEDB.REG; do
  cmp -s "$good/$f" "$out/$f"
  check "$f embedded as is" 0 $?
done
cmp -s "$good/vqd2k.cat" "$out/VQD2K.CAT"
check "vqd2k.cat embedded as VQD2K.CAT" 0 $?

exe="$build/vqdinst.exe"
names=$(i686-w64-mingw32-windres -i "$exe" -J coff -O rc 2>/dev/null | sed -n 's/^"\([A-Z0-9_]*\)" "DATA"$/\1/p' | sort | xargs)
check "DATA resources" "DRIVEDB DRIVEDB_DATE MERIDAX MERIDAX_DATE VQD VQD2K VQD2KCAT VQD2KCAT_DATE VQD2KINF VQD2KINF_DATE VQD2K_DATE VQD_DATE" "$names"
has() { grep -q -a -F -- "$1" "$2" && echo yes || echo no; }
for marker in E2E-INF-MARKER-ONE E2E-REG-MARKER E2E-CAT-MARKER 4.90.0.3000; do
  check "exe holds $marker" yes "$(has "$marker" "$exe")"
done

# ---- the program reports that payload: its manifest under Wine, when the
# test run has a prefix (CTest's e2e fixture)
if [ -n "${WINEPREFIX:-}" ] && [ -f "$WINEPREFIX/.vqd-ready" ]; then
  source "$src/tools/wine-env.sh"
  vqd_set_os win2k
  mkdir -p "$work/run" && rm -f "$work/run/VQDINST.MFT"
  (cd "$work/run" && wine "$exe" /MANIFEST </dev/null >/dev/null 2>&1)
  check "manifest exit code" 8 $?
  check "manifest lists the other payload" "$(cat "$out/payload-versions.txt")" \
    "$(tail -n +2 "$work/run/VQDINST.MFT" 2>/dev/null | tr -d '\r')"
fi

# ---- rebuilds: none without a change, the exe again after one
touch "$logs/stamp"
sleep 1
build_exe || die "rebuild failed, see $logs/build.log"
check "unchanged payload leaves the exe" "" "$(find "$exe" -newer "$logs/stamp")"
sed -i "1s/ONE/TWO/" "$good/VQD2K.INF"
build_exe || die "rebuild failed, see $logs/build.log"
check "changed INF relinks the exe" "$exe" "$(find "$exe" -newer "$logs/stamp")"
check "exe holds the new INF only" "no yes" "$(has E2E-INF-MARKER-ONE "$exe") $(has E2E-INF-MARKER-TWO "$exe")"

# ---- broken folders: the configure or build stops with mkpayload's message
broken() {  # NAME EXPECTED_MESSAGE [TIMES_FILE]; the folder is $work/NAME
  local rc=0
  : >"$logs/build.log"
  configure "$work/$1" "${3:-}" || rc=$?
  [ "$rc" -ne 0 ] || { build_exe || rc=$?; }
  check "$1: stops" yes "$([ "$rc" -ne 0 ] && echo yes || echo no)"
  # CMake wraps its messages: compared with blanks and line ends squeezed.
  cat "$logs/configure.log" "$logs/build.log" | tr -s ' \n' '  ' >"$logs/$1.log"
  check "$1: message" yes "$(has "$2" "$logs/$1.log")"
}
copy() { rm -rf "${work:?}/$1" && cp -r "$good" "$work/$1"; }

copy no-inf-ver
sed -i "/^;Ver=/d" "$work/no-inf-ver/VQD2K.INF"
broken no-inf-ver "mkpayload: invalid payload: $work/no-inf-ver/VQD2K.INF: no line beginning with \";Ver=\""

copy no-reg-default
sed -i "s/^@=/\"@\"=/" "$work/no-reg-default/DRIVEDB.REG"
broken no-reg-default "$work/no-reg-default/DRIVEDB.REG: no line beginning with"

copy no-sys-version
sh "$src/tools/mkpe.sh" "$work/no-sys-version/VQD2K.SYS" 1.0.0.0 --no-version || die "mkpe.sh --no-version"
broken no-sys-version "$work/no-sys-version/VQD2K.SYS: no readable version resource"

copy missing-reg
rm "$work/missing-reg/DRIVEDB.REG"
broken missing-reg "$work/missing-reg/DRIVEDB.REG: missing"

copy bad-times
sed "s/2005-01-03 04:05:16/2005-01-32 04:05:16/" "$good/payload.txt" >"$work/bad-times.txt"
broken bad-times "times file $work/bad-times.txt, line 4: unreadable accessed time \"2005-01-32 04:05:16\"" \
  "$work/bad-times.txt"

broken no-such-folder "VQDINST_PAYLOAD_DIR: $work/no-such-folder is not a folder"

# ---- and back to the good folder
configure "$good" && build_exe
check "good folder builds again" 0 $?
check "versions back" "DRIVEDB.REG: 2.0.0.99" "$(head -n 1 "$out/payload-versions.txt")"

echo "$failures check(s) failed"
[ "$failures" -eq 0 ]
