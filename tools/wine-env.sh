# shellcheck shell=bash
# Wine settings and helpers shared by vqdinst.sh and the end-to-end tests.
# Source it; it only defines variables and functions.
#
#   vqd_prefix_create DIR      make DIR a ready 32-bit prefix (no-op when it is one)
#   vqd_set_os OS              reported Windows version: win98 nt40 win2k winxp win7
#   vqd_configure OS GRAPHICS  version and graphics driver (null | x11) in one go
#   vqd_server_start [SECS]    keep a wineserver running for $WINEPREFIX
#   vqd_server_stop            stop it and every Wine process of $WINEPREFIX
#   vqd_winpath PATH           Unix path -> Z:\... path
#
# Every function works on $WINEPREFIX unless it takes a directory.
#
# Wine's own background processes (services.exe, explorer.exe ...) are
# started by the first Wine process of a server and inherit its standard
# error; they live as long as the server. A caller that reads a Wine
# process's standard error through a pipe (CTest does) would wait for them:
# send it to a file or /dev/null instead.

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32

VQD_OS_NAMES="win98 nt40 win2k winxp win7"
VQD_WINE_FONTS=/usr/share/wine/fonts

vqd_check_os() {
    case " $VQD_OS_NAMES " in
        *" $1 "*) return 0 ;;
    esac
    echo "unknown Windows version '$1' (one of: $VQD_OS_NAMES)" >&2
    return 1
}

# Creating a prefix takes 10-15 s. The file .vqd-ready marks a finished one;
# anything else found at DIR is the remains of an interrupted attempt and is
# removed first (after stopping its server: a prefix is never deleted under
# a running server).
vqd_prefix_create() {
    local dir link
    dir=$(realpath -m "$1") || return
    [ -f "$dir/.vqd-ready" ] && return 0
    if [ -e "$dir" ]; then
        WINEPREFIX=$dir wineserver -k >/dev/null 2>&1
        WINEPREFIX=$dir wineserver -w >/dev/null 2>&1
        rm -rf "$dir" || return
    fi
    mkdir -p "$(dirname "$dir")" || return
    WINEPREFIX=$dir wineboot -i >/dev/null 2>&1 || {
        echo "wineboot failed for $dir" >&2
        return 1
    }
    WINEPREFIX=$dir wineserver -w

    # Desktop, Documents ... point at $HOME in a new prefix: make them
    # real folders so nothing a program writes leaves the prefix.
    for link in "$dir"/drive_c/users/*/*; do
        if [ -L "$link" ]; then
            rm -f "$link" && mkdir "$link" || return
        fi
    done

    # Debian's Wine does not look in its own font folder; without these the
    # system fonts silently become DejaVu and dialog layouts change.
    if [ -d "$VQD_WINE_FONTS" ]; then
        mkdir -p "$dir/drive_c/windows/Fonts"
        ln -sf "$VQD_WINE_FONTS"/* "$dir/drive_c/windows/Fonts/" || return
    fi

    # Windows work without X through the null driver.
    WINEPREFIX=$dir wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
        </dev/null >/dev/null 2>&1 || return
    WINEPREFIX=$dir wineserver -w
    echo null >"$dir/.vqd-graphics"
    touch "$dir/.vqd-ready"
}

# Takes effect in the next process; no server restart needed.
vqd_set_os() {
    vqd_check_os "$1" || return
    wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f </dev/null >/dev/null 2>&1 || {
        echo "cannot set the Windows version in $WINEPREFIX" >&2
        return 1
    }
}

# Sets the version and the graphics driver with one regedit run. The driver
# is fixed for the life of a wineserver, so after a change this stops the
# server (and whatever still runs in the prefix). The driver last set is kept
# in $WINEPREFIX/.vqd-graphics.
vqd_configure() {
    local os=$1 graphics=$2 reg state value
    vqd_check_os "$os" || return
    case $graphics in
        null) value='"null"' ;;
        x11) value='-' ;;          # no value: Wine's default driver
        *) echo "unknown graphics driver '$graphics' (null or x11)" >&2; return 1 ;;
    esac
    state="$WINEPREFIX/.vqd-graphics"
    reg=$(mktemp "$WINEPREFIX/drive_c/vqd-XXXXXX.reg") || return
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine]\r\n"Version"="%s"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n"Graphics"=%s\r\n' \
        "$os" "$value" >"$reg"
    wine regedit /s "C:\\$(basename "$reg")" </dev/null >/dev/null 2>&1
    rm -f "$reg"
    if [ "$(cat "$state" 2>/dev/null)" != "$graphics" ]; then
        vqd_server_stop
        echo "$graphics" >"$state"
    fi
}

# A persistent server makes each later Wine process start in ~0.05 s instead
# of ~0.6 s. It exits SECS seconds after its last process ends (default 300),
# so an aborted test run does not leave it behind for long. The server keeps
# the standard error it was given: never hand it a pipe someone waits on.
vqd_server_start() {
    wineserver "-p${1:-300}" </dev/null >/dev/null 2>&1
}

vqd_server_stop() {
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    return 0
}

vqd_winpath() {
    local p
    p=$(realpath -m "$1") || return
    printf 'Z:%s\n' "${p//\//\\}"
}
