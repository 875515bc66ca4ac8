#!/usr/bin/env bash
# Builds vqdinst.exe and runs it under Wine in the current directory.
#
#   ./vqdinst.sh [--build] [--reset] [--os VERSION] [--direct] [--click ID]... [--step STEP]... [--] SWITCHES...
#
#   --build       only build vqdinst.exe and print its path
#   --reset       start from a new prefix: the old one is deleted and made
#                 again (alone: only that, the program is not run)
#   --os VERSION  Windows version Wine reports: win98, nt40, win2k (default),
#                 winxp or win7
#   --direct      run the program without the probe even with no display
#   --click ID    button to press in the next message box under the probe
#                 (1 = OK, 2 = Cancel, 6 = Yes, 7 = No; default OK)
#   --step STEP   a step of the probe for the dialog (dump:TForm1,
#                 click:TForm1:102, ...: see tools/probe.c); without a
#                 display, a start without switches reads the dialog and
#                 closes it (dump:TForm1 close:TForm1) unless steps are given
#
# The program runs in the project's own prefix, .wine/ beside this script
# (VQDINST_PREFIX=DIR for another), made on first use: a Windows with the
# CD-ROM class key and the IOSUBSYS folder. The build is quiet; its output is
# shown only when it fails. With DISPLAY set its windows appear on that display.
# Without one Wine uses its null graphics driver: windows exist but nobody
# can see them, so the program runs under tools/probe.c, which prints each
# message box (CAPTION, TEXT, BUTTON lines) and presses a button.
#
# Exit code: the program's (the low byte, as Wine hands it to Linux);
# 125 when building or preparing Wine failed.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
os=win2k
direct=0
reset=0
build_only=0
clicks=()
steps=()

usage() {
    sed -n '4,17s/^# \{0,1\}//p' "$root/vqdinst.sh" >&2
    exit "${1:-125}"
}

while [ $# -gt 0 ]; do
    case $1 in
        --os) [ $# -ge 2 ] || usage; os=$2; shift 2 ;;
        --os=*) os=${1#--os=}; shift ;;
        --direct) direct=1; shift ;;
        --reset) reset=1; shift ;;
        --build) build_only=1; shift ;;
        --click) [ $# -ge 2 ] || usage; clicks+=(--click "$2"); shift 2 ;;
        --step) [ $# -ge 2 ] || usage; steps+=(--step "$2"); shift 2 ;;
        --help) usage 0 ;;
        --) shift; break ;;
        *) break ;;
    esac
done

fail() {
    echo "vqdinst.sh: $*" >&2
    exit 125
}

# shellcheck source=tools/wine-env.sh
source "$root/tools/wine-env.sh"
vqd_check_os "$os" || exit 125

"$root/tools/deps.sh" || fail "missing build or Wine packages"

# The build's output goes to a log that is shown only when it fails.
win32="$root/build/win32"
mkdir -p "$root/build" || fail "cannot make $root/build"
log="$root/build/vqdinst.sh.log"
if [ ! -f "$win32/CMakeCache.txt" ]; then
    echo "vqdinst.sh: building build/win32 (the first time takes a minute or two)" >&2
    cmake -S "$root" -B "$win32" -DCMAKE_TOOLCHAIN_FILE="$root/tools/mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release >"$log" 2>&1 || { cat "$log" >&2; fail "configuring build/win32 failed"; }
fi
cmake --build "$win32" -j2 >"$log" 2>&1 || { cat "$log" >&2; fail "building build/win32 failed"; }
if [ "$build_only" = 1 ]; then
    echo "$win32/vqdinst.exe"
    exit 0
fi

WINEPREFIX=$(realpath -m "${VQDINST_PREFIX:-$root/.wine}") || fail "bad prefix path"
export WINEPREFIX
if [ "$reset" = 1 ] && [ -e "$WINEPREFIX" ]; then
    echo "vqdinst.sh: deleting the Wine prefix $WINEPREFIX" >&2
    vqd_prefix_remove "$WINEPREFIX" || fail "deleting the Wine prefix failed"
fi
if [ ! -f "$WINEPREFIX/.vqd-ready" ]; then
    echo "vqdinst.sh: creating the Wine prefix $WINEPREFIX" >&2
fi
vqd_prefix_create "$WINEPREFIX" || fail "creating the Wine prefix failed"
if [ "$reset" = 1 ] && [ $# -eq 0 ] && [ ${#steps[@]} -eq 0 ]; then
    exit 0
fi
if [ -n "${DISPLAY:-}" ]; then
    graphics=x11
else
    graphics=null
fi
vqd_configure "$os" "$graphics" || fail "setting up the Wine prefix failed"

# The probe's report with each box body spread over indented lines.
show_report() {
    local line
    while IFS= read -r line; do
        case $line in
            "TEXT "*)
                echo "TEXT"
                { printf '%b' "${line#TEXT }"; echo; } | tr '\r' '\n' | sed 's/^/  | /'
                ;;
            *) printf '%s\n' "$line" ;;
        esac
    done
}

if [ "$direct" = 1 ] || [ "$graphics" = x11 ]; then
    wine "$win32/vqdinst.exe" "$@"
else
    # Nobody can see the dialog: print what it says and close it.
    if [ $# -eq 0 ] && [ ${#steps[@]} -eq 0 ]; then
        steps=(--step dump:TForm1 --step close:TForm1)
    fi
    wine "$win32/probe.exe" --timeout 0 "${steps[@]}" "${clicks[@]}" -- "$(vqd_winpath "$win32/vqdinst.exe")" "$@" | show_report
    exit "${PIPESTATUS[0]}"
fi
