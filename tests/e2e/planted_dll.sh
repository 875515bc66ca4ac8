#!/usr/bin/env bash
# A stranger's DLLs beside vqdinst.exe and in its current directory, with
# Wine told to prefer a native DLL to its own for their names: none of them
# is loaded (tests/win32/planted.c leaves NAME.ran beside itself when it is),
# and "/CHECK", "/INSTALL /NOREBOOT", "/RESTART" and "/REMOVE /NOREBOOT" in
# Windows 2000 mode use the system's version functions and SetupAPI and exit
# with their usual codes. Only version.dll beside the program is loaded, by
# Wine itself (see check_not_loaded).
#
# The names: setupapi.dll and version.dll, which the program loads at run time
# from the system directory, and libgcc_s_dw2-1.dll, which the C++ runtime's
# start-up loads only if a module of that name is already there. Windows
# looks for every other DLL the program imports (kernel32, user32, gdi32,
# advapi32, msvcrt) in the system directory only, since they are among its
# known DLLs; Wine has no known DLLs and would load a planted one of those
# names, and a native kernel32 cannot even start under Wine (0xC000007A), so
# those cannot be shown here (README, "DLLs the program imports or loads").
source "$(dirname "$0")/lib.sh"
e2e_begin planted_dll win2k
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"
[ -f "${VQD_SEED:-}" ] || e2e_die "missing cdromseed.exe (VQD_SEED=${VQD_SEED:-})"
NAMES="setupapi version libgcc_s_dw2-1"
PAYLOAD="$VQD_WIN32_DIR/payload"
PV=$(sed -n 's/^VQD2K.SYS: //p' "$PAYLOAD/payload-versions.txt")
DBV=$(sed -n 's/^@="\(.*\)"\r*$/\1/p' "$PAYLOAD/DRIVEDB.REG")
[ -n "$PV" ] && [ -n "$DBV" ] || e2e_die "no versions of the payload's VQD2K.SYS ('$PV') and DRIVEDB.REG ('$DBV')"
counted='C:\windows\system32\DRIVERS\VQD2K.SYS'

reset_system() {
    local f
    hklm_delete "$SERVICES\\VQD2K"
    hklm_delete_value "$CLASS" LowerFilters
    hklm_delete "$SHARED"
    hklm_delete 'SOFTWARE\Velcordia'
    rm -f "$SYS32"/drivers/VQD2K.{SYS,DIS}
    for f in "$WINEPREFIX/drive_c/windows/inf"/*; do
        grep -qs '^;Ver=' "$f" && rm -f "$f" "${f%.*}.pnf" "${f%.*}.PNF"
    done
    mkdir -p "$SYS32/drivers"
    vqdcheck setvalue "$CLASS" Class 1 "$(hex 'CDROM\0')" >/dev/null
}
reset_system

# The program's folder (a download folder, say) and the current directory,
# each with a copy of every planted DLL.
mkdir -p prog cwd
cp "$VQD_EXE" "$VQD_SEED" prog/
for n in $NAMES; do
    [ -f "$VQD_WIN32_DIR/planted/$n.dll" ] || e2e_die "missing $VQD_WIN32_DIR/planted/$n.dll"
    cp "$VQD_WIN32_DIR/planted/$n.dll" prog/
    cp "$VQD_WIN32_DIR/planted/$n.dll" cwd/
done
overrides=$WINEDLLOVERRIDES
for n in $NAMES; do overrides+=";$n=n,b"; done
export WINEDLLOVERRIDES=$overrides
cd cwd || e2e_die "no cwd"

# ran: the markers of the planted DLLs that were loaded (named as the loader
# spelt the DLL's name).
ran() {
    (cd .. && find prog cwd -iname '*.ran' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
}
# check_not_loaded: none was, except the version.dll beside the program:
# Wine's own user32.dll imports version.dll (Windows' does not), so Wine
# loads the planted one before the program starts. The program's version
# functions must still be the system's: see the "GFV: " line below.
check_not_loaded() {
    check_eq "planted DLLs that ran" "prog/version.dll.ran " "$(ran)"
    rm -f ../prog/*.ran ../cwd/*.ran
}
# run SWITCHES...: the copy beside the planted DLLs, with the log.
run() {
    rm -f "$E2E_LOG"
    e2e_probe --marker --click 1 -- "$(vqd_winpath ../prog/vqdinst.exe)" "$@" /DEBUG
    E2E_ARGS="prog/vqdinst $*"
}

# The plant works: a program that imports SetupAPI loads the planted one.
E2E_ARGS="prog/cdromseed count"
check_eq "an importing program gets the planted DLL" "cdromseed: SetupDiGetClassDevsA failed: 24301" \
    "$(wine ../prog/cdromseed.exe count </dev/null 2>&1 | tr -d '\r')"
check_eq "its marker" "prog/setupapi.dll.ran " "$(ran)"
rm -f ../prog/*.ran

run /CHECK
check_rc 10
check_not_loaded

# The system's SetupAPI stores the INF (the planted one fails), the registry
# editor imports the database.
run /INSTALL /NOREBOOT
check_rc 0
check_not_loaded
check_log_has "Inst2K: SetupCopyOEMInf executed successfully."
check_eq "installed driver" same "$(cmp -s "$SYS32/drivers/VQD2K.SYS" "$PAYLOAD/VQD2K.SYS" && echo same || echo different)"
check_eq "install count" "4 01000000" "$(vqdcheck getvalue "$SHARED" "$counted")"
check_eq "drive database" "1 $(hex "$DBV\\0")" "$(vqdcheck getvalue "$DRIVEDB" '')"

run /CHECK
check_rc 11
check_not_loaded

# The system's version functions read the carried and the installed driver's
# version (the planted ones fail): equal, so nothing is upgraded.
run /UPGRADE /NOREBOOT
check_rc 0
check_not_loaded
if [ "$(e2e_log_lines | grep -cE "^GFV: FileVersion of .*VQD2K\.SYS is ${PV//./\\.}\$")" -ge 2 ]; then
    e2e_pass
else
    e2e_fail "no two lines with the driver's version $PV; log is:$(e2e_log_dump)"
fi

run /RESTART
check_rc 0
check_not_loaded

run /REMOVE /NOREBOOT
check_rc 0
check_not_loaded
check_absent "$SYS32/drivers/VQD2K.SYS"

reset_system
e2e_finish
