# shellcheck shell=bash
# Helpers for the end-to-end tests: the real vqdinst.exe under Wine.
#
# CTest passes the settings through the environment:
#   WINEPREFIX         the prefix made by setup.sh (one per test run)
#   VQD_WIN32_DIR      the win32 build directory
#   VQD_EXE            vqdinst.exe of the win32 build
#   VQD_PROBE          probe.exe of the win32 build (tools/probe.c)
#   VQD_CHECK          vqdcheck.exe of the win32 build
#   VQD_SEED           cdromseed.exe of the win32 build (tests/win32/cdromseed.cpp)
#   VQD_HOLDOPEN       holdopen.exe of the win32 build (tests/win32/holdopen.c)
#   VQD_INVISIBLE      invisible.exe of the win32 build (tests/win32/invisible.c)
#   VQD_KILLAT         killat.exe of the win32 build (tests/win32/killat.c)
#   VQD_PAYLOAD_TIMES  the times file the win32 build embedded the payload with
#   VQD_VERSION        the project version, stamped into the exe as FileVersion
#   VQD_E2E_WORK       folder for the scratch folders of the tests
#
# A test script sources this file, calls e2e_begin, runs the program with
# e2e_run and records checks with check_*; a failed check is reported and the
# script goes on, so one run shows every difference. e2e_finish exits 1 when
# any check failed.

E2E_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../tools/wine-env.sh
source "$E2E_LIB_DIR/../../tools/wine-env.sh"

E2E_FAILED=0
E2E_CHECKS=0
E2E_OUT=""        # probe output of the last run
E2E_RC=""         # exit code of the last run ("" when the probe gave none)
E2E_ARGS=""       # arguments of the last run, for messages
E2E_LOG="$WINEPREFIX/drive_c/VQDINST.LOG"

e2e_die() {
    echo "ERROR: $*" >&2
    exit 2
}

# e2e_begin NAME [OS]: fresh scratch folder as the current directory, state
# the program may have left reset, reported Windows version set.
e2e_begin() {
    local name=$1 os=${2:-}
    local v
    for v in WINEPREFIX VQD_EXE VQD_PROBE VQD_VERSION VQD_E2E_WORK; do
        [ -n "${!v:-}" ] || e2e_die "$v is not set (run the tests through ctest)"
    done
    [ -f "$WINEPREFIX/.vqd-ready" ] || e2e_die "no prefix at $WINEPREFIX (the e2e.prefix fixture did not run)"
    [ -f "$VQD_PROBE" ] || e2e_die "missing $VQD_PROBE (build the win32 build first)"
    E2E_NAME=$name
    E2E_SCRATCH="$VQD_E2E_WORK/$name"
    rm -rf "$E2E_SCRATCH"
    if ! mkdir -p "$E2E_SCRATCH" || ! cd "$E2E_SCRATCH"; then
        e2e_die "cannot use $E2E_SCRATCH"
    fi
    e2e_reset
    if [ -n "$os" ]; then
        vqd_set_os "$os" || e2e_die "cannot set Windows version $os"
    fi
    E2E_OS=${os:-default}
}

e2e_need_exe() {
    [ -f "$VQD_EXE" ] || e2e_die "missing $VQD_EXE (build the win32 build first)"
}

# Removes what the program leaves behind: the log and its registry key.
e2e_reset() {
    rm -f "$E2E_LOG"
    wine reg delete 'HKCU\Software\Velcordia' /f </dev/null >/dev/null 2>&1 || true
}

# e2e_probe [PROBE OPTIONS] -- PROGRAM ARGS...: runs the probe; E2E_OUT gets
# its report, E2E_RC the exit code from its EXIT line (empty after TIMEOUT or
# NOBUTTON, so a check_rc then fails and shows the report).
e2e_probe() {
    local err="$E2E_SCRATCH/stderr.txt"
    E2E_ARGS="$*"
    # Standard error goes to a file, never into the pipe: see wine-env.sh.
    E2E_OUT=$(wine "$VQD_PROBE" --timeout 30000 "$@" </dev/null 2>"$err")
    if [ -s "$err" ]; then
        E2E_OUT+=$'\n'$(sed 's/^/STDERR /' "$err")
    fi
    E2E_RC=$(e2e_fact EXIT)
}

# e2e_run ARGS...: vqdinst.exe ARGS under the probe, every box answered with
# OK (or E2E_CLICK=ID), the marker window looked for while a box is up.
e2e_run() {
    e2e_need_exe
    e2e_probe --marker --click "${E2E_CLICK:-1}" -- "$(vqd_winpath "$VQD_EXE")" "$@"
    E2E_ARGS="vqdinst $*"
}

# e2e_run_direct ARGS...: plain `wine vqdinst.exe ARGS`; E2E_RC is the code
# as Linux sees it (the low byte). For runs that show no box.
e2e_run_direct() {
    e2e_need_exe
    E2E_ARGS="wine vqdinst $*"
    E2E_OUT=""
    timeout 60 wine "$VQD_EXE" "$@" </dev/null >/dev/null 2>&1
    E2E_RC=$?
}

# e2e_fact KEY: the value of the first report line "KEY value" (escaped).
e2e_fact() {
    printf '%s\n' "$E2E_OUT" | sed -n "s/^$1 //p; s/^$1\$//p" | head -n 1
}

# e2e_count KEY: how many report lines start with KEY.
e2e_count() {
    printf '%s\n' "$E2E_OUT" | grep -c "^$1\\( \\|\$\\)"
}

# e2e_unescape TEXT: the probe's one-line form back to the real text.
e2e_unescape() {
    printf '%b' "$1"
}

# e2e_box_lines: the body of the first box, one line per CR-separated line.
e2e_box_lines() {
    e2e_unescape "$(e2e_fact TEXT)" | tr '\r' '\n'
    echo
}

# e2e_log_lines: the log with CRLF line ends turned into LF.
e2e_log_lines() {
    [ -f "$E2E_LOG" ] && tr -d '\r' <"$E2E_LOG"
}

# e2e_log_dump: the log, indented, for failure messages.
e2e_log_dump() {
    echo
    e2e_log_lines | sed 's/^/  > /'
}

# --- checks ----------------------------------------------------------------

e2e_pass() {
    E2E_CHECKS=$((E2E_CHECKS + 1))
}

e2e_fail() {
    E2E_CHECKS=$((E2E_CHECKS + 1))
    E2E_FAILED=$((E2E_FAILED + 1))
    echo "FAIL [$E2E_NAME/$E2E_OS] $E2E_ARGS: $*"
    if [ -n "$E2E_OUT" ]; then
        printf '%s\n' "$E2E_OUT" | sed 's/^/  | /'
    fi
}

# check_eq WHAT EXPECTED ACTUAL
check_eq() {
    if [ "$2" = "$3" ]; then
        e2e_pass
    else
        e2e_fail "$1: expected '$2', got '$3'"
    fi
}

# check_same WHAT EXPECTED ACTUAL: check_eq for long texts; a failure shows
# the lines that differ (- expected, + found) with two lines around them.
check_same() {
    if [ "$2" = "$3" ]; then
        e2e_pass
    else
        e2e_fail "$1 differs:"$'\n'"$(diff -U2 <(printf '%s\n' "$2") <(printf '%s\n' "$3") | tail -n +3 | sed 's/^/  /')"
    fi
}

check_rc() {
    check_eq "exit code" "$1" "$E2E_RC"
}

check_nobox() {
    if [ "$(e2e_count NOBOX)" = 1 ] && [ "$(e2e_count CAPTION)" = 0 ]; then
        e2e_pass
    else
        e2e_fail "expected no message box"
    fi
}

# check_report_line LINE: the probe reported exactly this line.
check_report_line() {
    if printf '%s\n' "$E2E_OUT" | grep -qxF -- "$1"; then
        e2e_pass
    else
        e2e_fail "no report line '$1'"
    fi
}

check_exists() {
    if [ -e "$1" ]; then e2e_pass; else e2e_fail "$1 should exist"; fi
}

check_absent() {
    if [ -e "$1" ]; then e2e_fail "$1 should not exist"; else e2e_pass; fi
}

# check_log_line N EXPECTED: line N of the log is exactly EXPECTED.
check_log_line() {
    check_eq "log line $1" "$2" "$(e2e_log_lines | sed -n "$1p")"
}

# check_log_match N ERE: line N of the log matches the extended regex.
check_log_match() {
    local line
    line=$(e2e_log_lines | sed -n "$1p")
    if printf '%s\n' "$line" | grep -qE -- "$2"; then
        e2e_pass
    else
        e2e_fail "log line $1 '$line' does not match /$2/"
    fi
}

check_log_banner() {
    check_log_match 1 "^VQDINST ${VQD_VERSION//./\\.} log file created [^ ].*[0-9]"
}

check_log_has() {
    if e2e_log_lines | grep -qxF -- "$1"; then
        e2e_pass
    else
        e2e_fail "log has no line '$1'; log is:$(e2e_log_dump)"
    fi
}

check_log_lacks() {
    if e2e_log_lines | grep -qxF -- "$1"; then
        e2e_fail "log should not have the line '$1'"
    else
        e2e_pass
    fi
}

# check_log_order LINE...: the lines occur in the log in this order.
check_log_order() {
    local want prev=0 n
    for want in "$@"; do
        n=$(e2e_log_lines | grep -nxF -- "$want" | head -n 1 | cut -d: -f1)
        if [ -z "$n" ] || [ "$n" -le "$prev" ]; then
            e2e_fail "log lines out of order or missing at '$want'; log is:$(e2e_log_dump)"
            return
        fi
        prev=$n
    done
    e2e_pass
}

# Every line of the log ends in CR LF, as a Windows text file does.
check_log_crlf() {
    if [ ! -s "$E2E_LOG" ]; then
        e2e_fail "log $E2E_LOG missing or empty"
    elif [ "$(grep -c $'\r$' "$E2E_LOG")" = "$(wc -l <"$E2E_LOG")" ] &&
         [ "$(tail -c 2 "$E2E_LOG" | od -An -c | tr -d ' ')" = '\r\n' ]; then
        e2e_pass
    else
        e2e_fail "log lines do not all end in CR LF"
    fi
}

# --- the system as other programs see it ---------------------------------------

SERVICES='SYSTEM\CurrentControlSet\Services'
CLASS='SYSTEM\CurrentControlSet\Control\Class\{4D36E965-E325-11CE-BFC1-08002BE10318}'
SHARED='SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs'
DRIVEDB='SOFTWARE\Velcordia\PALV\DriveDB'
SYS32="$WINEPREFIX/drive_c/windows/system32"

# vqdcheck ARGS...: its output. In a UTF-8 locale, where Wine hands a name
# with no ANSI form to its UTF-16 command line whole.
vqdcheck() {
    LC_ALL=C.UTF-8 wine "$VQD_CHECK" "$@" </dev/null 2>/dev/null | tr -d '\r'
}
# hex TEXT: the bytes of TEXT (printf escapes such as \0 allowed) in hex.
hex() {
    printf "$1" | od -An -tx1 | tr -d ' \n'
}
# hex16 TEXT: TEXT (UTF-8, printf escapes allowed) in UTF-16LE, in hex.
hex16() {
    printf "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 | tr -d ' \n'
}
hklm_delete() {
    wine reg delete "HKLM\\$1" /f </dev/null >/dev/null 2>&1 || true
}
hklm_delete_value() {
    wine reg delete "HKLM\\$1" /v "$2" /f </dev/null >/dev/null 2>&1 || true
}
# clear_vqd2k: no VQD2K driver file, service key, filter entry or install
# count on the system; the CD-ROM class key in place.
clear_vqd2k() {
    hklm_delete "$SERVICES\\VQD2K"
    hklm_delete_value "$CLASS" LowerFilters
    hklm_delete_value "$SHARED" 'C:\windows\system32\DRIVERS\VQD2K.SYS'
    rm -f "$SYS32"/drivers/VQD2K.{SYS,DIS}
    vqdcheck setvalue "$CLASS" Class 1 "$(hex 'CDROM\0')" >/dev/null
}
# remove_stored_infs: every copy of a VQD2K.INF (found by its ";Ver=" line)
# out of the INF store, with its precompiled .pnf.
remove_stored_infs() {
    local f
    for f in "$WINEPREFIX/drive_c/windows/inf"/*; do
        grep -qs '^;Ver=' "$f" && rm -f "$f" "${f%.*}.pnf" "${f%.*}.PNF"
    done
    return 0
}
# check_refused SWITCHES...: a run refused as an unsupported system: exit 12,
# no box, and neither flag file nor manifest left.
check_refused() {
    make_files reboot.txt badinst.txt
    e2e_run "$@"
    check_rc 12
    check_nobox
    check_absent reboot.txt
    check_absent badinst.txt
    check_absent VQDINST.MFT
}

# check_wine_version PLATFORM MAJOR MINOR: what Wine reports in the version
# mode set; the build number goes to $build, which the log lines quote.
check_wine_version() {
    local platform major minor
    e2e_probe --osversion
    read -r platform major minor build <<<"$(e2e_fact OSVERSION)"
    check_eq "platform and version reported by Wine" "$1 $2 $3" "$platform $major $minor"
}

# make_files FILE...: small files in the current directory.
make_files() {
    local f
    for f in "$@"; do
        echo "left over" >"$f"
    done
}

# --- CD-ROM devices -----------------------------------------------------------
# Root-enumerated devices under ROOT\VQDTESTCDROM with a CD-ROM device
# interface, as SetupAPI lists them to the program's device restart (in the
# order they were given). Wine has no driver for them: they have no physical
# device object name, and their restart fails at the first
# SetupDiSetClassInstallParamsA. e2e_finish takes them away again.

E2E_CDROM_ENUM=VQDTESTCDROM
E2E_CDROMS_SEEDED=0

# seed_cdroms FRIENDLY...: one device per name, replacing those seeded
# before; a name "multi:A|B" is stored as a multi-string of A and B.
seed_cdroms() {
    local i=0 name
    [ -f "${VQD_SEED:-}" ] || e2e_die "missing cdromseed.exe (VQD_SEED=${VQD_SEED:-})"
    remove_cdroms
    E2E_CDROMS_SEEDED=1
    # Also when the script stops early.
    trap 'if [ "$E2E_CDROMS_SEEDED" = 1 ]; then remove_cdroms; fi' EXIT
    for name in "$@"; do
        wine "$VQD_SEED" add "$E2E_CDROM_ENUM" "$i" "$name" </dev/null >/dev/null 2>"$E2E_SCRATCH/seed.txt" ||
            e2e_die "cannot seed CD-ROM device $i '$name': $(cat "$E2E_SCRATCH/seed.txt")"
        i=$((i + 1))
    done
    [ "$(cdrom_count)" = "$#" ] || e2e_die "seeded $# CD-ROM devices, SetupAPI lists $(cdrom_count)"
}

# remove_cdroms: takes every seeded device away; dies if any is left.
remove_cdroms() {
    [ -f "${VQD_SEED:-}" ] || return 0
    wine "$VQD_SEED" remove "$E2E_CDROM_ENUM" </dev/null >/dev/null 2>&1
    [ "$(cdrom_count)" = 0 ] || e2e_die "CD-ROM devices left after removal: $(cdrom_count)"
    E2E_CDROMS_SEEDED=0
}

# cdrom_count: how many devices the CD-ROM interface set lists.
cdrom_count() {
    wine "$VQD_SEED" count </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^count=//p'
}

# --- the program's own windows -------------------------------------------------
# With --step options the probe reports a window as a block of lines: WINDOW
# <class> <visible> <caption>, SIZE, FOCUS, one CONTROL line per control in
# tab order, END (tools/probe.c).

# e2e_run_steps STEP... [-- ARGS...]: vqdinst.exe ARGS (none: the dialog)
# under the probe, each STEP given to it as --step; boxes that come up after
# the last step are answered with OK (or E2E_CLICK=ID).
e2e_run_steps() {
    local steps=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        steps+=(--step "$1")
        shift
    done
    [ $# -gt 0 ] && shift
    e2e_need_exe
    e2e_probe --click "${E2E_CLICK:-1}" "${steps[@]}" -- "$(vqd_winpath "$VQD_EXE")" "$@"
    E2E_ARGS="vqdinst $* (steps ${steps[*]})"
}

# e2e_block N [CLASS]: the Nth window block of the last report, counting only
# the blocks of windows of CLASS when it is given.
e2e_block() {
    printf '%s\n' "$E2E_OUT" | awk -v n="$1" -v cls="${2:-}" '
        /^WINDOW / { mine = (cls == "" || $2 == cls); if (mine) i++ }
        mine && i == n { print; if ($0 == "END") exit }'
}

# e2e_controls BLOCK: the block's controls, one a line, tab-separated: id,
# class, visible, enabled, left, top, width, height, font height, font
# weight, font face, text (face and text unescaped).
e2e_controls() {
    local line re='^CONTROL (-?[0-9]+) ([^ ]+) ([01]) ([01]) (-?[0-9]+) (-?[0-9]+) (-?[0-9]+) (-?[0-9]+) (-?[0-9]+) (-?[0-9]+) ([^ ]+) (.*)$'
    while IFS= read -r line; do
        [[ $line =~ $re ]] || continue
        printf '%s\t' "${BASH_REMATCH[@]:1:10}"
        printf '%s\t%s\n' "$(e2e_unescape "${BASH_REMATCH[11]}")" "$(e2e_unescape "${BASH_REMATCH[12]}")"
    done <<<"$1"
}

# hold_open WINPATH...: another program holds the files open for reading,
# sharing neither writes nor deletes (a loaded driver's file can be held so),
# until release_held, which also runs when the script stops early.
E2E_HELD=""
hold_open() {
    [ -f "${VQD_HOLDOPEN:-}" ] || e2e_die "missing holdopen.exe (VQD_HOLDOPEN=${VQD_HOLDOPEN:-})"
    local stop="$E2E_SCRATCH/held"
    rm -f "$stop" "$stop.ready"
    wine "$VQD_HOLDOPEN" "$(vqd_winpath "$stop")" "$@" </dev/null >/dev/null 2>"$E2E_SCRATCH/holdopen.txt" &
    E2E_HELD=$!
    # A script with an exit trap of its own calls release_held there.
    [ -n "$(trap -p EXIT)" ] || trap 'release_held' EXIT
    for _ in $(seq 600); do
        [ -f "$stop.ready" ] && return 0
        kill -0 "$E2E_HELD" 2>/dev/null || break
        sleep 0.05
    done
    e2e_die "holdopen.exe did not open $*: $(cat "$E2E_SCRATCH/holdopen.txt")"
}
# release_held: the files are closed; holdopen.exe's exit code.
release_held() {
    [ -n "$E2E_HELD" ] || return 0
    touch "$E2E_SCRATCH/held"
    wait "$E2E_HELD"
    local rc=$?
    E2E_HELD=""
    return $rc
}

# kill_at LINE EXE ARGS...: EXE ARGS /DEBUG killed with kill -9 right after
# its log got LINE. killat.exe (tests/win32/killat.c) runs it as a debuggee
# and freezes every thread of it the moment the WriteFile of that line
# returns; the Wine process, found by a mark in its environment and its
# command line, is then killed from Linux. So it ends as a kill -9 at that
# moment would end it: no code of its own runs after the line, neither
# clean-up nor undo, and what it wrote stays as written. The check: one
# process killed, and the log ends with LINE.
E2E_KILLS=0
kill_at() {
    local line=$1 winexe out="$E2E_SCRATCH/killat.txt" mark watcher env pids="" rc
    winexe=$(vqd_winpath "$2")
    shift 2
    [ -f "${VQD_KILLAT:-}" ] || e2e_die "missing killat.exe (VQD_KILLAT=${VQD_KILLAT:-})"
    E2E_KILLS=$((E2E_KILLS + 1))
    mark="$$-$E2E_KILLS"
    E2E_ARGS="vqdinst $* /DEBUG killed at '$line'"
    E2E_OUT=""
    e2e_reset
    VQD_KILL_MARK=$mark wine "$VQD_KILLAT" "$line" "\"$winexe\" $* /DEBUG" </dev/null >"$out" 2>&1 &
    watcher=$!
    for _ in $(seq 600); do
        grep -q '^STOPPED' "$out" && break
        kill -0 "$watcher" 2>/dev/null || break
        sleep 0.02
    done
    if grep -q '^STOPPED' "$out"; then
        for env in $(grep -lzx "VQD_KILL_MARK=$mark" /proc/[0-9]*/environ 2>/dev/null); do
            [ "$(head -zn1 "${env%/environ}/cmdline" 2>/dev/null | tr -d '\0')" = "$winexe" ] &&
                pids+=" $(basename "${env%/environ}")"
        done
        # shellcheck disable=SC2086
        [ -n "$pids" ] && kill -9 $pids
    fi
    wait "$watcher"
    rc=$?
    E2E_OUT=$(tr -d '\r' <"$out")
    check_eq "killat.exe's exit code, the processes killed, the last log line" "0 1 $line" \
        "$rc $(wc -w <<<"$pids") $(e2e_log_lines | tail -n 1)"
}

# e2e_nth N KEY: the value of the Nth report line "KEY value" (escaped), e.g.
# the caption of the second box.
e2e_nth() {
    printf '%s\n' "$E2E_OUT" | sed -n "s/^$2 //p" | sed -n "$1p"
}

e2e_finish() {
    if [ "$E2E_CDROMS_SEEDED" = 1 ]; then
        remove_cdroms
    fi
    if [ "$E2E_FAILED" -ne 0 ]; then
        echo "$E2E_NAME: $E2E_FAILED of $E2E_CHECKS checks failed"
        exit 1
    fi
    if [ "$E2E_CHECKS" -eq 0 ]; then
        echo "$E2E_NAME: no checks ran"
        exit 1
    fi
    echo "$E2E_NAME: all $E2E_CHECKS checks passed"
    exit 0
}
