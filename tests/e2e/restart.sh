#!/usr/bin/env bash
# "/RESTART" in Windows 2000 mode against Wine's real SetupAPI: with no
# CD-ROM device, and with two seeded ones (the second with a multi-string
# friendly name), on the main thread and, through vqdcheck.exe, on the worker
# thread. Wine cannot restart a device: it has no physical device object name
# for one, and SetupDiSetClassInstallParamsA is a stub that fails without
# setting an error, so the number after "parameters 1: " is whatever error an
# earlier call left. Every device is still attempted and the run exits 0.
# A setupapi.dll planted beside vqdinst.exe is not loaded.
source "$(dirname "$0")/lib.sh"
e2e_begin restart win2k
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"
SYS32="$WINEPREFIX/drive_c/windows/system32"

# check_rd_lines: the log after its banner is exactly the lines of a failed
# restart of the two seeded devices.
check_rd_lines() {
    local n=2 friendly
    for friendly in "VQD Test CD-ROM A" "VQD Test DVD B"; do
        check_log_line $n "RD: Error getting device name for restart"
        check_log_line $((n + 1)) "RD: Restarting device: "
        check_log_line $((n + 2)) "RD: Friendly name: $friendly"
        check_log_match $((n + 3)) '^RD: Couldn'"'"'t set the install parameters 1: [0-9]+$'
        n=$((n + 4))
    done
    check_eq "log lines" 9 "$(e2e_log_lines | wc -l)"
}

# ---- no CD-ROM device: nothing to do, in every family
for os in win2k nt40 win98; do
    vqd_set_os "$os" || e2e_die "cannot set $os"
    rm -f "$E2E_LOG"
    e2e_run /RESTART /DEBUG
    check_rc 0
    check_nobox
    check_log_banner
    check_eq "lines after the banner ($os)" 1 "$(e2e_log_lines | wc -l)"
done
vqd_set_os win2k

# ---- two devices: both attempted in order, exit 0
seed_cdroms "VQD Test CD-ROM A" "multi:VQD Test DVD B|Second string"
rm -f "$E2E_LOG"
start=$(date +%s%N)
e2e_run /RESTART /DEBUG
took=$((($(date +%s%N) - start) / 1000000))
check_rc 0
check_nobox
check_log_banner
check_rd_lines
check_log_crlf
# The pause of one second after each device.
if [ "$took" -ge 2000 ]; then e2e_pass; else e2e_fail "two devices took $took ms, less than their two pauses"; fi

# The same on the worker thread, which the main thread waits for.
rm -f "$E2E_LOG"
E2E_ARGS="vqdcheck --log restart worker"
check_eq "worker: set obtained, a device failed" "result=1 failed=1" \
    "$(wine "$VQD_CHECK" --log restart worker </dev/null 2>/dev/null | tr -d '\r')"
check_rd_lines

# ---- a setupapi.dll planted beside the program is never the one it uses
# Wine prefers its own DLLs; with native ones first, a load by bare name
# finds the planted one beside the program, as Windows does for a DLL that is
# not among its known DLLs. cdromseed.exe, which imports SetupAPI, shows that
# the plant works; vqdinst.exe must still restart the devices with the
# system's.
mkdir -p planted
cp "$VQD_EXE" "$VQD_SEED" "$VQD_WIN32_DIR/planted/setupapi.dll" planted/
saved_overrides=$WINEDLLOVERRIDES
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;setupapi=n,b"
E2E_ARGS="planted/cdromseed count"
check_eq "an importing program gets the planted DLL"     "cdromseed: SetupDiGetClassDevsA failed: 24301" "$(wine planted/cdromseed.exe count </dev/null 2>&1 | tr -d '\r')"
rm -f "$E2E_LOG"
e2e_probe --marker --click 1 -- "$(vqd_winpath planted/vqdinst.exe)" /RESTART /DEBUG
check_rc 0
check_rd_lines
export WINEDLLOVERRIDES=$saved_overrides
rm -rf planted

# ---- "/RESTART" excludes everything else except the conflict checks
rm -f "$E2E_LOG"
e2e_run /RESTART /INSTALL /DEBUG
check_rc 0
check_rd_lines
check_absent "$SYS32/drivers/VQD2K.SYS"
check_eq "no service key" "missing" \
    "$(wine "$VQD_CHECK" getvalue 'SYSTEM\CurrentControlSet\Services\VQD2K' Type </dev/null 2>/dev/null | tr -d '\r')"
rm -f "$E2E_LOG"
e2e_run /RESTART /INSTALL /REMOVE /DEBUG
check_rc 4
check_log_lacks "RD: Restarting device: "

# ---- devices gone again: the set is empty
remove_cdroms
E2E_ARGS="vqdcheck restart direct"
check_eq "no devices left" "result=1 failed=0" \
    "$(wine "$VQD_CHECK" restart direct </dev/null 2>/dev/null | tr -d '\r')"

e2e_finish
