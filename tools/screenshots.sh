#!/usr/bin/env bash
# Takes the screenshots of the dialog that README.md shows, under Xvfb.
#
#   ./tools/screenshots.sh [OUTDIR]        (default: docs/screenshots)
#
# Writes, each cropped to the window with the title bar Wine draws:
#   not-installed.png  no driver: "Install"
#   please-wait.png    the window shown while the install runs
#   overwrite.png      the same version installed: "Overwrite", "will not"
#   upgrade.png        an older version installed and enabled: "Upgrade"
#   advanced.png       the same after "Advanced >>": the bottom row
#   disabled.png       the older version installed and disabled
#
# It installs what is missing (as root: the build and Wine packages, xvfb,
# imagemagick, x11-utils), builds build/win32, and works in a Wine prefix of
# its own, build/screenshots/wineprefix (Windows 2000 mode, 96 dpi, Wine's
# fonts), whose driver state it resets first. Each state is made by the
# program itself (an install from the dialog, /DISABLE) or by planting an
# older driver file, and each window is checked against the probe's report
# of it (button captions, the texts that tell the states apart) before it is
# taken. Xvfb runs on a display number it picks itself; Xvfb and the
# prefix's wineserver are stopped at the end, also after a failure.
#
# The please-wait window is up only while an action runs. Here it stays up
# for seconds: CD-ROM devices are seeded first, and after the install the
# program restarts each of them on a worker thread with a pause of one second
# per device, serving its windows meanwhile. The shot is taken once the
# window has been shown and painted, and it counts only when the window is
# still mapped after it.
#
# Exit code 0 when every picture was written, 1 otherwise.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/screenshots}")
win32="$root/build/win32"
base="$root/build/screenshots"
work="$base/run"
export WINEPREFIX="$base/wineprefix"

# CD-ROM devices that keep the please-wait window up (one second each).
SEEDED_CDROMS=3
# Whole-run limit of each probe, in milliseconds.
PROBE_TIMEOUT=60000

fail() {
    echo "screenshots.sh: $*" >&2
    exit 1
}

# shellcheck source=tools/wine-env.sh
source "$root/tools/wine-env.sh"

"$root/tools/deps.sh" xvfb imagemagick x11-utils || fail "missing packages"

if [ ! -f "$win32/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$win32" -DCMAKE_TOOLCHAIN_FILE="$root/tools/mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release >&2 || fail "configuring build/win32 failed"
fi
cmake --build "$win32" -j2 --target vqdinst probe probehook cdromseed >&2 ||
    fail "building build/win32 failed"

mkdir -p "$out" || fail "cannot create $out"
rm -rf "$work"
mkdir -p "$work" || fail "cannot create $work"
cd "$work" || exit 1

# ---- Xvfb and the prefix, both taken down again whatever happens ---------

xvfb_pid=""
probe_pid=""
cleanup() {
    if [ -n "$probe_pid" ]; then
        kill "$probe_pid" 2>/dev/null
        wait "$probe_pid" 2>/dev/null
    fi
    [ -f "$WINEPREFIX/.vqd-ready" ] && vqd_server_stop
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# -displayfd: Xvfb takes the first free display number and writes it once
# it accepts connections.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not report its display"
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY

if [ ! -f "$WINEPREFIX/.vqd-ready" ]; then
    echo "screenshots.sh: creating the Wine prefix $WINEPREFIX" >&2
    vqd_prefix_create "$WINEPREFIX" || fail "creating the Wine prefix failed"
fi
# A server of an earlier run may still hold the display it was started with.
vqd_server_stop
vqd_configure win2k x11 || fail "setting up the Wine prefix failed"

SYS32="$WINEPREFIX/drive_c/windows/system32"
CDROM_ENUM=SHOTCDROM

# No driver on the system: its files, registration, install count, INF
# copies and the program's own keys gone. Wine draws the title bars itself
# (there is no window manager) at 96 dpi.
reset_system() {
    local f
    find "$SYS32/drivers" -maxdepth 1 -iname 'vqd2k.*' -delete
    for f in "$WINEPREFIX"/drive_c/windows/inf/*; do
        grep -qs '^;Ver=' "$f" && rm -f "$f" "${f%.*}.pnf" "${f%.*}.PNF"
    done
    printf '%s\r\n' 'REGEDIT4' '' \
        '[-HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\VQD2K]' \
        '[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs]' \
        '"C:\\windows\\system32\\DRIVERS\\VQD2K.SYS"=-' '' \
        '[-HKEY_LOCAL_MACHINE\SOFTWARE\Velcordia]' \
        '[-HKEY_CURRENT_USER\Software\Velcordia]' \
        '[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{4D36E965-E325-11CE-BFC1-08002BE10318}]' \
        '"Class"="CDROM"' '"LowerFilters"=-' '' \
        '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Decorated"="N"' '' \
        '[HKEY_CURRENT_USER\Control Panel\Desktop]' '"LogPixels"=dword:00000060' '' \
        >"$WINEPREFIX/drive_c/vqd-shots.reg"
    wine regedit /s 'C:\vqd-shots.reg' </dev/null >/dev/null 2>&1
    rm -f "$WINEPREFIX/drive_c/vqd-shots.reg"
    cdroms remove "$CDROM_ENUM"
    [ "$(cdroms count)" = count=0 ] || fail "CD-ROM devices left in the prefix"
}

cdroms() {
    wine "$win32/cdromseed.exe" "$@" </dev/null 2>>"$work/cdromseed.log" | tr -d '\r'
}

# ---- the probe, run in the background ------------------------------------

# start_probe NAME PROBE-ARGS...: vqdinst.exe under the probe; its report
# goes to NAME.txt.
start_probe() {
    local name=$1
    shift
    report="$work/$name.txt"
    wine "$win32/probe.exe" --timeout "$PROBE_TIMEOUT" "$@" </dev/null >"$report" 2>"$work/$name.err" &
    probe_pid=$!
}

# wait_report LINE: waits until the report has this line (the probe is then
# at that point of its steps).
wait_report() {
    while ! grep -qxF -- "$1" "$report"; do
        if ! kill -0 "$probe_pid" 2>/dev/null; then
            sed 's/^/  | /' "$report" >&2
            fail "the probe ended before reporting '$1'"
        fi
        sleep 0.05
    done
}

# finish_probe EXIT-LINE: waits for the probe to end with that report line.
finish_probe() {
    wait "$probe_pid"
    probe_pid=""
    if ! grep -qxF -- "$1" "$report"; then
        sed 's/^/  | /' "$report" >&2
        fail "expected '$1' from the probe"
    fi
}

# block N: the Nth window block of the report.
block() {
    awk -v n="$1" '/^WINDOW /{i++} i==n{print} i==n&&/^END$/{exit}' "$report"
}

# expect N LINE-PATTERN WHAT: block N has a line matching the basic regex.
expect() {
    if ! block "$1" | grep -q -- "$2"; then
        block "$1" | sed 's/^/  | /' >&2
        fail "not $3: no line /$2/ in the window's report"
    fi
}

# control ID VISIBLE TEXT: the line pattern of a control with that text.
control() {
    local text
    text=$(printf '%s' "$3" | sed 's/[].[*^$\\]/\\&/g')
    printf '^CONTROL %s [A-Za-z]* %s [01] .* MS\\\\x20Sans\\\\x20Serif %s$' "$1" "$2" "$text"
}

# ---- the shots -----------------------------------------------------------

# x_window CAPTION WIDTH HEIGHT: the id of the mapped top-level X window
# with that name and size. The dialog and the please-wait window share their
# caption; only one of them is mapped at a time.
x_window() {
    local line id
    while IFS= read -r line; do
        [[ $line =~ ^\ *(0x[0-9a-f]+)\ \"(.*)\":\ .*\ ([0-9]+)x([0-9]+)\+ ]] || continue
        id=${BASH_REMATCH[1]}
        if [ "${BASH_REMATCH[2]}" != "$1" ] || [ "${BASH_REMATCH[3]}x${BASH_REMATCH[4]}" != "$2x$3" ]; then
            continue
        fi
        if xwininfo -id "$id" | grep -q 'Map State: IsViewable'; then
            echo "$id"
            return 0
        fi
    done < <(xwininfo -root -children)
    return 1
}

# shoot N FILE: the window of block N as FILE in $out, cropped to the window
# (with Decorated=N the X window is the whole frame, title bar included).
shoot() {
    local caption w h cw ch border id png=$out/$2 colours
    caption=$(block "$1" | sed -n 's/^WINDOW [^ ]* [01] //p')
    read -r _ w h _ <<<"$(block "$1" | grep '^SIZE ')"
    # Painting follows the show; the windows are served while the probe waits.
    sleep 0.5
    id=$(x_window "$caption" "$w" "$h") || fail "no mapped X window '$caption' ${w}x$h for $2"
    import -window "$id" "$work/shot.png" || fail "import of $2 failed"
    xwininfo -id "$id" | grep -q 'Map State: IsViewable' || fail "the window went away while $2 was taken"
    # Without time stamps, so an unchanged window gives an unchanged file.
    convert "$work/shot.png" -strip -define png:exclude-chunks=date,time "$png" || fail "writing $png failed"
    [ "$(identify -format '%wx%h' "$png")" = "${w}x$h" ] || fail "$2 is not ${w}x$h"
    # A painted client area has text on its background: more than one colour.
    read -r _ _ _ cw ch <<<"$(block "$1" | grep '^SIZE ')"
    border=$(((w - cw) / 2))
    colours=$(convert "$png" -crop "${cw}x$ch+$border+$((h - ch - border))" +repage -format '%k' info:)
    [ "$colours" -gt 1 ] || fail "nothing painted in the window of $2"
    echo "$png"
}

start_time=$SECONDS
reset_system

# 1. No driver, then Install: the please-wait window while the devices restart.
for i in $(seq 0 $((SEEDED_CDROMS - 1))); do
    cdroms add "$CDROM_ENUM" "$i" "Screenshot CD-ROM $i" >/dev/null
done
[ "$(cdroms count)" = "count=$SEEDED_CDROMS" ] || fail "cannot seed CD-ROM devices: $(cat "$work/cdromseed.log")"
start_probe install --step dump:TForm1 --step await:shot1 --step click:TForm1:102 \
    --step shown:TForm3 --step await:shot2 --step box:7 -- "$(vqd_winpath "$win32/vqdinst.exe")"
wait_report "AWAIT shot1"
expect 1 "$(control 203 1 'does not')" "the dialog of a system without the driver"
expect 1 "$(control 102 1 Install)" "the dialog of a system without the driver"
shoot 1 not-installed.png
touch shot1
wait_report "AWAIT shot2"
expect 2 "^WINDOW TForm3 1 " "the please-wait window"
expect 2 "$(control 301 1 'Please wait while the driver is installed.')" "the please-wait window of the install"
shoot 2 please-wait.png
touch shot2
# The devices did not restart under Wine: the program asks to reboot.
finish_probe "CLICK 7"
cdroms remove "$CDROM_ENUM"

# 2. The carried version installed: nothing newer to offer.
start_probe overwrite --step dump:TForm1 --step await:shot3 --step click:TForm1:103 -- \
    "$(vqd_winpath "$win32/vqdinst.exe")"
wait_report "AWAIT shot3"
expect 1 "$(control 102 1 Overwrite)" "the dialog of an installed current driver"
expect 1 "$(control 210 1 'will not')" "the dialog of an installed current driver"
shoot 1 overwrite.png
touch shot3
finish_probe "EXIT 1"

# 3. An older driver in its place: the upgrade, and the expanded dialog.
driver=$(find "$SYS32/drivers" -maxdepth 1 -iname vqd2k.sys | head -n 1)
[ -n "$driver" ] || fail "the install left no VQD2K.SYS"
sh "$root/tools/mkpe.sh" "$work/older.sys" 5.1.10.0 || fail "cannot make the older driver"
cp "$work/older.sys" "$driver" || exit 1
start_probe upgrade --step dump:TForm1 --step await:shot4 --step click:TForm1:105 \
    --step dump:TForm1 --step await:shot5 --step click:TForm1:103 -- "$(vqd_winpath "$win32/vqdinst.exe")"
wait_report "AWAIT shot4"
expect 1 "$(control 102 1 Upgrade)" "the dialog of an older driver"
expect 1 "$(control 203 1 5.1.10.0)" "the dialog of an older driver"
expect 1 "$(control 206 1 enabled.)" "the dialog of an older driver"
shoot 1 upgrade.png
touch shot4
wait_report "AWAIT shot5"
expect 2 "$(control 105 1 'Advanced <<')" "the expanded dialog"
expect 2 "$(control 104 1 'Disable VQD Driver')" "the expanded dialog"
shoot 2 advanced.png
touch shot5
finish_probe "EXIT 1"

# 4. The same driver disabled by the program's own switch.
start_probe disable -- "$(vqd_winpath "$win32/vqdinst.exe")" /DISABLE /NOFLAG
finish_probe "EXIT 0"
start_probe disabled --step dump:TForm1 --step await:shot6 --step click:TForm1:103 -- \
    "$(vqd_winpath "$win32/vqdinst.exe")"
wait_report "AWAIT shot6"
expect 1 "$(control 206 1 disabled.)" "the dialog of a disabled driver"
expect 1 "$(control 102 1 Upgrade)" "the dialog of a disabled driver"
shoot 1 disabled.png
touch shot6
finish_probe "EXIT 1"

echo "screenshots.sh: 6 pictures in $out ($((SECONDS - start_time)) s)" >&2
