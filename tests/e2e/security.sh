#!/usr/bin/env bash
# What other users can plant where an elevated run reads and writes, in
# Windows 2000 mode. A temporary directory "931fas~9" from before holds a
# drive database that would add a service and a driver of other bytes, both
# held open by another process so that they cannot be replaced; the next name
# "931fas~9.1" is a link to a victim folder. Then links at the debug log and
# at the reboot flag to victim files. After each run: the payload is what got
# installed, nothing planted was imported, the victims and the planted
# folder are as they were, no temporary directory is left, the exit code is
# the usual one. Then another user racing the run for its temporary
# directory. Last, a stranger's DLLs beside the program and in its
# current directory (see that part).
source "$(dirname "$0")/lib.sh"
e2e_begin security win2k
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"
[ -f "${VQD_RACER:-}" ] || e2e_die "missing racer.exe (VQD_RACER=${VQD_RACER:-})"
[ -f "${VQD_SEED:-}" ] || e2e_die "missing cdromseed.exe (VQD_SEED=${VQD_SEED:-})"
PAYLOAD="$VQD_WIN32_DIR/payload"
[ -f "$PAYLOAD/VQD2K.SYS" ] || e2e_die "missing $PAYLOAD/VQD2K.SYS"

DRIVER="$SYS32/drivers/VQD2K.SYS"
COUNTED='C:\windows\system32\DRIVERS\VQD2K.SYS'
TEMPS="$WINEPREFIX/drive_c/sectemp"
PLANTED="$TEMPS/931fas~9"
VICTIM="$WINEPREFIX/drive_c/secvictim"
RACE="$WINEPREFIX/drive_c/racetemp"

cleanup() {
    release_held
    wine reg delete 'HKCU\Environment' /v TEMP /f </dev/null >/dev/null 2>&1
    hklm_delete "$SERVICES\\AttackerSvc"
    rm -rf "$TEMPS" "$VICTIM" "$RACE" "$WINEPREFIX/drive_c/VQDINST.LOG"
}
trap cleanup EXIT

fresh() {
    clear_vqd2k
    hklm_delete "$SERVICES\\AttackerSvc"
    hklm_delete "$DRIVEDB"
}
# The carried driver and database in place, nothing of the attacker's.
payload_installed() {
    if cmp -s "$PAYLOAD/VQD2K.SYS" "$DRIVER"; then e2e_pass; else e2e_fail "$DRIVER is not the payload's"; fi
    check_eq "VQD2K registered" "result=1" "$(vqdcheck installed)"
    check_eq "install count" "4 01000000" "$(vqdcheck getvalue "$SHARED" "$COUNTED")"
    check_eq "drive database version" "1 $(hex "$(sed -n 's/^@="\(.*\)"\r\{0,1\}$/\1/p' "$PAYLOAD/DRIVEDB.REG")\0")" \
        "$(vqdcheck getvalue "$DRIVEDB" "")"
    check_eq "planted service" missing "$(vqdcheck getvalue "$SERVICES\\AttackerSvc" ImagePath)"
}
# victims_intact DIR: the victim files hold what they held.
victims_intact() {
    check_eq "victim files" "a.txt:victim a|b.txt:victim b|" \
        "$(cd "$1" && for f in *; do printf '%s:%s|' "$f" "$(cat "$f")"; done)"
}
make_victims() {
    rm -rf "$VICTIM"
    mkdir -p "$VICTIM"
    printf 'victim a' >"$VICTIM/a.txt"
    printf 'victim b' >"$VICTIM/b.txt"
}

# --- a temporary directory from before, its files held open, a folder link
fresh
e2e_reset
make_victims
rm -rf "$TEMPS"
mkdir -p "$PLANTED"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\%s\\AttackerSvc]\r\n"ImagePath"="evil.sys"\r\n\r\n[HKEY_LOCAL_MACHINE\\%s]\r\n@="99.0.0.0"\r\n' \
    "$SERVICES" "$DRIVEDB" >"$PLANTED/DRIVEDB.REG"
head -c 45 /dev/zero | tr '\0' 'A' >"$PLANTED/VQD2K.SYS"
cp -p "$PLANTED/DRIVEDB.REG" "$PLANTED/VQD2K.SYS" "$E2E_SCRATCH/"
ln -s "$VICTIM" "$TEMPS/931fas~9.1"
wine reg add 'HKCU\Environment' /v TEMP /d 'C:\sectemp' /f </dev/null >/dev/null 2>&1
hold_open 'C:\sectemp\931fas~9\DRIVEDB.REG' 'C:\sectemp\931fas~9\VQD2K.SYS'

e2e_run /INSTALL /DEBUG
check_rc 6
check_nobox
payload_installed
victims_intact "$VICTIM"
check_eq "the link to the victim folder" "$VICTIM" "$(readlink "$TEMPS/931fas~9.1")"
check_eq "planted folder" "DRIVEDB.REG VQD2K.SYS" "$(cd "$PLANTED" && echo *)"
for f in DRIVEDB.REG VQD2K.SYS; do
    if cmp -s "$E2E_SCRATCH/$f" "$PLANTED/$f"; then e2e_pass; else e2e_fail "planted $f changed"; fi
done
check_eq "folders in TEMP afterwards" "931fas~9 931fas~9.1" "$(cd "$TEMPS" && echo *)"
check_eq "temporary directory lines" \
    "$(printf '%s\n' 'MTD: Got TEMP' 'MTD: Temp dir is: C:\sectemp\931fas~9' 'MTD: Failed to create temp' \
        'MTD: Temp dir exists - trying another name' 'MTD: Temp dir is: C:\sectemp\931fas~9.1' \
        'MTD: Failed to create temp' 'MTD: Temp dir exists - trying another name' \
        'MTD: Temp dir is: C:\sectemp\931fas~9.2' 'MTD: Created temp')" \
    "$(e2e_log_lines | grep '^MTD: ')"
check_log_order 'MTD: Created temp' 'Inst2K: File copy of VQD2K.SYS succeeded' 'DTD: Removed temp dir'
release_held
check_eq "holdopen.exe exit code" 0 "$?"

# --- the private directory. Wine keeps its DACL as mode bits: SYSTEM and the
# user only, where a folder made without one lets everybody look in.
rm -rf "$TEMPS"/*
check_eq "private directory" 'tempdir=C:\sectemp\931fas~9' "$(vqdcheck tempdir)"
check_eq "others' rights on the private directory" 0 "$(( 0$(stat -c %a "$TEMPS/931fas~9") & 7 ))"
wine cmd /c mkdir 'C:\sectemp\plain' </dev/null >/dev/null 2>&1
check_eq "others' rights on a plain folder" 5 "$(( 0$(stat -c %a "$TEMPS/plain") & 7 ))"

# --- another user racing the run in a TEMP both may write (shared, or FAT):
# as soon as the drive database is extracted, racer.exe opens it for writing
# and renames the temporary directory away to put its own, with a database
# of its own, under that name. The run holds both: each try fails with 32
# (a sharing violation), and the payload is what goes in.
fresh
e2e_reset
rm -rf "$RACE"
mkdir -p "$RACE"
wine reg add 'HKCU\Environment' /v TEMP /d 'C:\racetemp' /f </dev/null >/dev/null 2>&1
wine "$VQD_RACER" 'C:\racetemp\931fas~9' DRIVEDB.REG \
    "$(printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\%s\\AttackerSvc]\n"ImagePath"="evil.sys"\n' "$SERVICES")" \
    </dev/null >"$E2E_SCRATCH/racer.txt" 2>&1 &
RACER=$!
sleep 1
e2e_run /INSTALL /DEBUG
wait "$RACER"
RACED=$?
check_eq "racer.exe's exit code and tries" "0 file 32|dir 32|" "$RACED $(tr -d '\r' <"$E2E_SCRATCH/racer.txt" | tr '\n' '|')"
check_rc 6
payload_installed
check_eq "left in TEMP" "" "$(ls -A "$RACE")"
wine reg delete 'HKCU\Environment' /v TEMP /f </dev/null >/dev/null 2>&1

# --- links at the debug log and the reboot flag. A hard link is deleted and
# the file made anew. A symbolic link is left alone and nothing is written
# there (Wine's DeleteFileA would delete what it points to), so this run has
# no log and no flag; its exit code is the same.
for kind in symbolic hard; do
    fresh
    e2e_reset
    make_victims
    rm -f reboot.txt
    if [ $kind = symbolic ]; then
        ln -s "$VICTIM/a.txt" "$E2E_LOG"
        ln -s "$VICTIM/b.txt" reboot.txt
    else
        ln "$VICTIM/a.txt" "$E2E_LOG"
        ln "$VICTIM/b.txt" reboot.txt
    fi
    e2e_run /INSTALL /DEBUG
    E2E_ARGS+=" ($kind links)"
    check_rc 6
    check_nobox
    payload_installed
    victims_intact "$VICTIM"
    if [ $kind = symbolic ]; then
        check_eq "links left in place" "$VICTIM/a.txt $VICTIM/b.txt" "$(readlink "$E2E_LOG") $(readlink reboot.txt)"
    else
        check_log_banner
        check_log_has 'DTD: Removed temp dir'
        check_eq "reboot.txt" reboot "$(cat reboot.txt)"
        check_eq "files with other names" "1 1" "$(stat -c %h "$E2E_LOG") $(stat -c %h reboot.txt)"
    fi
done
rm -f "$E2E_LOG"


# --- DLLs. A stranger's DLLs beside vqdinst.exe and in its current
# directory, with Wine told to prefer a native DLL to its own for their names: none of them
# is loaded (tests/win32/planted.c leaves NAME.ran beside itself when it is),
# and "/CHECK", "/INSTALL /NOREBOOT", "/RESTART" and "/REMOVE /NOREBOOT" in
# Windows 2000 mode use the system's version functions and SetupAPI and exit
# with their usual codes. Only version.dll beside the program is loaded, by
# Wine itself (see check_not_loaded).
#
# The names: setupapi.dll and version.dll, which the program loads at run time
# from the system directory; wintrust.dll and crypt32.dll, which SetupAPI
# loads by bare name for the catalog (the program loads them first, from the
# system directory); and libgcc_s_dw2-1.dll, which the C++ runtime's
# start-up loads only if a module of that name is already there. Windows
# looks for every other DLL the program imports (kernel32, user32, gdi32,
# advapi32, msvcrt) in the system directory only, since they are among its
# known DLLs; Wine has no known DLLs and would load a planted one of those
# names, and a native kernel32 cannot even start under Wine (0xC000007A), so
# those cannot be shown here (README, "DLLs the program imports or loads").
cd "$E2E_SCRATCH" || e2e_die "no $E2E_SCRATCH"
wine reg delete 'HKCU\Environment' /v TEMP /f </dev/null >/dev/null 2>&1
NAMES="setupapi version libgcc_s_dw2-1 wintrust crypt32"
PV=$(sed -n 's/^VQD2K.SYS: //p' "$PAYLOAD/payload-versions.txt")
DBV=$(sed -n 's/^@="\(.*\)"\r*$/\1/p' "$PAYLOAD/DRIVEDB.REG")
[ -n "$PV" ] && [ -n "$DBV" ] || e2e_die "no versions of the payload's VQD2K.SYS ('$PV') and DRIVEDB.REG ('$DBV')"

reset_system() {
    local f
    hklm_delete "$SERVICES\\VQD2K"
    hklm_delete_value "$CLASS" LowerFilters
    hklm_delete "$SHARED"
    hklm_delete 'SOFTWARE\Velcordia'
    rm -f "$SYS32"/drivers/VQD2K.{SYS,DIS}
    remove_stored_infs
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
check_eq "install count" "4 01000000" "$(vqdcheck getvalue "$SHARED" "$COUNTED")"
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
