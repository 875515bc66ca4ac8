# shellcheck shell=bash
# Wine settings and helpers shared by vqdinst.sh and the end-to-end tests.
# Source it; it only defines variables and functions.
#
#   vqd_prefix_create DIR      make DIR a ready 32-bit prefix (no-op when it is one)
#   vqd_prefix_remove DIR      stop DIR's server and delete the prefix
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

# Wine's own messages are off; VQD_WINEDEBUG=... (WINEDEBUG's syntax, e.g.
# "+reg,+file" or "warn+all") turns on the channels asked for.
export WINEDEBUG=${VQD_WINEDEBUG:--all}
# No Mono or Gecko. The sample drivers are no real drivers: once registered
# with a boot or system start, Wine's services.exe would load them into
# winedevice.exe at the next start of the prefix and hold their files (no
# copy over them, no deletion). Disabled here, so Wine never loads them. Nor
# does Wine's menu builder run, which writes menu entries into $HOME when a
# prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml=;vqd.sys,vqd2k.sys=;winemenubuilder.exe=d"
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
    if [ -f "$dir/.vqd-ready" ]; then
        # A prefix made before the system folders and keys were added.
        [ -f "$dir/.vqd-system" ] || vqd_prefix_system "$dir"
        return
    fi
    vqd_prefix_remove "$dir" || return
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
    vqd_prefix_system "$dir" || return
    WINEPREFIX=$dir wineserver -w
    touch "$dir/.vqd-ready"
}

# What every Windows the driver supports has and a new Wine prefix lacks:
# the CD-ROM device class key (Windows 2000 lists its filter drivers there)
# and the folder of Windows 9x's port drivers, IOSUBSYS, under the system
# directory (Wine's is system32 in every version mode). The folder is made in
# lower case like Wine's own, so that a later mkdir of it does not make a
# second folder differing only in case.
VQD_CDROM_CLASS='HKLM\SYSTEM\CurrentControlSet\Control\Class\{4D36E965-E325-11CE-BFC1-08002BE10318}'
vqd_prefix_system() {
    local dir=$1
    mkdir -p "$dir/drive_c/windows/system32/drivers" "$dir/drive_c/windows/system32/iosubsys" || return
    WINEPREFIX=$dir wine reg add "$VQD_CDROM_CLASS" /ve /d 'DVD/CD-ROM drives' /f \
        </dev/null >/dev/null 2>&1 || return
    WINEPREFIX=$dir wine reg add "$VQD_CDROM_CLASS" /v Class /d CDROM /f \
        </dev/null >/dev/null 2>&1 || return
    touch "$dir/.vqd-system"
}

# A Wine process that starts meanwhile (another script in the same prefix)
# can write into the folder while it is being deleted: stop and try again.
vqd_prefix_remove() {
    local dir try
    dir=$(realpath -m "$1") || return
    for try in 1 2 3; do
        [ -e "$dir" ] || return 0
        WINEPREFIX=$dir wineserver -k >/dev/null 2>&1
        WINEPREFIX=$dir wineserver -w >/dev/null 2>&1
        rm -rf "$dir" 2>/dev/null && return 0
        sleep 1
    done
    rm -rf "$dir"
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
