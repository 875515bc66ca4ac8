#!/usr/bin/env bash
# A product's life with the driver, in one Windows version ($1), as a calling
# setup program drives it: first install, a second product's install, the
# check, an upgrade by a newer vqdinst.exe, disable, enable, the two
# removals, a forced removal and an install over the legacy driver; on
# Windows 2000 also the device restart, the removal of a disabled driver, the
# repair of a lost filter entry and an install that fails (13). Runs killed
# (kill -9) at a line of their log, each undone by the next run; on Windows
# 2000 also an install and a removal started together, and an upgrade and
# an install with the driver folder on a full file system. After every
# step: exit code, flag files, the driver files with their times, the
# registry values with their types and bytes, the INF in the store, the
# procedure's own log lines, and no temporary directory left.
source "$(dirname "$0")/lib.sh"
os=$1
e2e_begin "life-$os" "$os"
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"
[ -f "$VQD_NEWER_EXE" ] || e2e_die "missing $VQD_NEWER_EXE (the e2e.newer_build fixture did not run)"
NEWER_PAYLOAD="$(dirname "$VQD_NEWER_EXE")/payload"

case "$os" in
    nt40) fam=NT; dir=drivers; drv=VQD.SYS; dis=VQD.DIS; svc=VQD; legacy=drivers/BREMCO.SYS; oldsvc=BREMCO ;;
    win98) fam=9x; dir=iosubsys; drv=MERIDAX.VXD; dis=MERIDAX.DIS; svc=; legacy=iosubsys/PLOVANT.VXD; oldsvc= ;;
    *) fam=2K; dir=drivers; drv=VQD2K.SYS; dis=VQD2K.DIS; svc=VQD2K; legacy=drivers/BREMCO2K.SYS; oldsvc=BREMCO2k ;;
esac
active="$SYS32/$dir/$drv"
legacy_log="C:\\windows\\system32\\$(tr 'a-z/' 'A-Z\\' <<<"$legacy")"
disabled="$SYS32/$dir/$dis"
counted="C:\\windows\\system32\\$(tr a-z A-Z <<<"$dir")\\$drv"
INF_STORE="$WINEPREFIX/drive_c/windows/inf"

# written_time TIMES_FILE FILE: the last-write time the payload gives FILE, in
# seconds since 1970.
written_time() {
    awk -v f="$2" 'toupper($1) == f { print $10 " " $11 }' "$1" | xargs -I{} date -u -d {} +%s
}
# inf_copies PAYLOAD_DIR: how many INFs in the store have the content of that
# payload's VQD2K.INF (Windows and Wine name the copy themselves).
inf_copies() {
    local f n=0
    for f in "$INF_STORE"/*.inf "$INF_STORE"/*.INF; do
        [ -f "$f" ] && cmp -s "$f" "$1/VQD2K.INF" && n=$((n + 1))
    done
    echo $n
}
count() { vqdcheck getvalue "$SHARED" "$counted"; }
count_is() { check_eq "install count" "$1" "$(count)"; }

reset_system() {
    local k f
    for k in VQD VQD2K BREMCO BREMCO2k Aspi32; do hklm_delete "$SERVICES\\$k"; done
    hklm_delete_value "$CLASS" LowerFilters
    hklm_delete "$SHARED"
    # The link of step 12 itself first: reg.exe would delete its target.
    vqdcheck unlink "$DRIVEDB\\X\\L" >/dev/null
    hklm_delete 'SOFTWARE\Velcordia'
    hklm_delete 'SOFTWARE\Victim'
    rm -f "$SYS32"/drivers/{VQD,VQD2K,BREMCO,BREMCO2K}.{SYS,DIS} "$SYS32"/iosubsys/{MERIDAX,PLOVANT}.{VXD,DIS}
    remove_stored_infs
    # What a killed run leaves when the next one did not undo it.
    rm -rf "$SYS32/~vqd" "$WINEPREFIX"/drive_c/users/*/Temp/931fas~9*
    mkdir -p "$SYS32/drivers" "$SYS32/iosubsys"
    # The CD-ROM device class, as every Windows 2000 has it.
    vqdcheck setvalue "$CLASS" Class 1 "$(hex 'CDROM\0')" >/dev/null
}

# run ARGS...: vqdinst.exe (or $EXE) with /DEBUG, no box expected.
EXE=$VQD_EXE
run() {
    make_files reboot.txt badinst.txt
    e2e_reset
    e2e_probe --click 7 -- "$(vqd_winpath "$EXE")" "$@" /DEBUG
    E2E_ARGS="vqdinst $*"
    check_nobox
    check_eq "temporary directory removed" "" "$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp/931fas~9* 2>/dev/null)"
}
flags() {  # REBOOT BADINST: "yes" when the flag file must be there
    if [ "$1" = yes ]; then check_eq "reboot.txt" reboot "$(cat reboot.txt 2>/dev/null)"; else check_absent reboot.txt; fi
    if [ "$2" = yes ]; then check_eq "badinst.txt" badinst "$(cat badinst.txt 2>/dev/null)"; else check_absent badinst.txt; fi
}
# enabled PAYLOAD_DIR TIMES: the driver of that payload under its active
# name with its written time, registered as this family registers it.
enabled() {
    check_exists "$active"
    check_absent "$disabled"
    cmp -s "$active" "$1/$drv"
    check_eq "$drv is the payload's" 0 $?
    check_eq "$drv written time" "$(written_time "$2" "$drv")" "$(stat -c %Y "$active" 2>/dev/null)"
    if [ -n "$svc" ]; then
        local start=01000000
        [ "$fam" = NT ] && start=00000000
        check_eq "service Start" "4 $start" "$(vqdcheck getvalue "$SERVICES\\$svc" Start)"
        check_eq "service Group" "1 $(hex 'SCSI CDROM Class\0')" "$(vqdcheck getvalue "$SERVICES\\$svc" Group)"
        check_eq "service Type" "4 01000000" "$(vqdcheck getvalue "$SERVICES\\$svc" Type)"
    fi
    if [ "$fam" = 2K ]; then
        check_eq "LowerFilters" "7 $(hex 'VQD2K\0\0')" "$(vqdcheck getvalue "$CLASS" LowerFilters)"
    fi
}
gone() {  # the driver and its registration removed
    check_absent "$active"
    check_absent "$disabled"
    [ -n "$svc" ] && check_eq "service key" missing "$(vqdcheck getvalue "$SERVICES\\$svc" Start)"
    [ "$fam" = 2K ] && check_eq "LowerFilters" missing "$(vqdcheck getvalue "$CLASS" LowerFilters)"
    count_is missing
}
drivedb_is() {
    check_eq "drive database" "1 $(hex "$1")00" "$(vqdcheck getvalue "$DRIVEDB" '')"
}

reset_system
OLD=$VQD_WIN32_DIR/payload
OLD_TIMES=$VQD_PAYLOAD_TIMES
NEW_TIMES="$(dirname "$VQD_NEWER_EXE")/newer-payload/payload.txt"

# ---- 1. first install
run /INSTALL
check_rc 6
flags yes no
enabled "$OLD" "$OLD_TIMES"
count_is "4 01000000"
check_eq "ExcludeMiniports" "1 00" "$(vqdcheck getvalue "$SERVICES\\Aspi32\\Parameters" ExcludeMiniports)"
drivedb_is 1.0.3.40
[ "$fam" = 2K ] && check_eq "INF in the store" 1 "$(inf_copies "$OLD")"
case $fam in
    NT) check_log_order "MAIN: Install switch activated" InstNT "InstNT: Extracting VQD" \
            "InstNT: Didn't find another copy - installing" "InstNT: File copy of VQD.SYS succeeded" "InstNT: Done" ;;
    2K) check_log_order "MAIN: Install switch activated" Inst2K "Inst2K: Extracting VQD2K" \
            "Inst2K: Didn't find another copy - installing" "Inst2K: File copy of VQD2K.SYS succeeded" \
            "Inst2K: SetupCopyOEMInf executed successfully." "Inst2K: Done" ;;
    9x) check_log_order "MAIN: Install switch activated" Inst9x "Inst9x: Extracting MERIDAX" \
            "Inst9x: Didn't find another version - installing" "Inst9x: File copy of MERIDAX.VXD succeeded" "Inst9x: Done" ;;
esac

# ---- 2. a second product installs the same driver: counted, nothing copied
run /INSTALL
check_rc 0
flags no no
enabled "$OLD" "$OLD_TIMES"
count_is "4 02000000"
check_log_has "Inst$fam: Done"
check_log_lacks "Inst$fam: Install copy is newer - updating"
[ "$fam" = 2K ] && check_eq "INF in the store once" 1 "$(inf_copies "$OLD")"

# ---- 3. the check
run /CHECK
check_rc 11
flags no no
check_log_has "MAIN: Sanity check switch activated"

# ---- 4. the newer release upgrades: replaced, count kept
EXE=$VQD_NEWER_EXE
run /UPGRADE
check_rc 6
flags yes no
enabled "$NEWER_PAYLOAD" "$NEW_TIMES"
count_is "4 02000000"
drivedb_is 2.0.0.99
[ "$fam" = 2K ] && check_eq "newer INF in the store" 1 "$(inf_copies "$NEWER_PAYLOAD")"
if [ "$fam" = NT ]; then
    check_log_order UpgradeNT "UpgadeNT: Found previous copy - checking versions" \
        "UpgadeNT: Install copy is newer or overwrite switch used - updating" "UpgadeNT: File copy of VQD.SYS succeeded" \
        "UpgadeNT: Done"
else
    check_log_order "Upgrade$fam" "Upgrade$fam: Install copy is newer - updating" "Upgrade$fam: Done"
fi
run /UPGRADE
check_rc 0
flags no no
check_log_lacks "Upgrade$fam: Install copy is newer - updating"

# ---- 5. disable: renamed with its times, unregistered, still counted
run /DISABLE
check_rc 0
flags no no
check_absent "$active"
check_exists "$disabled"
check_eq "disabled file written time" "$(written_time "$NEW_TIMES" "$drv")" "$(stat -c %Y "$disabled" 2>/dev/null)"
[ -n "$svc" ] && check_eq "service key" missing "$(vqdcheck getvalue "$SERVICES\\$svc" Start)"
[ "$fam" = 2K ] && check_eq "LowerFilters" missing "$(vqdcheck getvalue "$CLASS" LowerFilters)"
count_is "4 02000000"
check_log_order "MAIN: Disable driver switch activated" "MAIN: Disable driver passed enabled test"

run /CHECK
check_rc 10
flags no yes

# ---- 6. enable: back under its name with its times and registration
run /ENABLE
check_rc 0
flags no no
enabled "$NEWER_PAYLOAD" "$NEW_TIMES"
count_is "4 02000000"
check_log_order "MAIN: Enable driver switch activated" "MAIN: Enable driver passed disabled test"

run /CHECK
check_rc 11

# ---- 7. the removals: first only counted down, then the driver goes
EXE=$VQD_EXE
run /REMOVE
check_rc 0
flags no no
enabled "$NEWER_PAYLOAD" "$NEW_TIMES"
count_is "4 01000000"

run /REMOVE
check_rc 6
flags yes no
gone
check_eq "drive database removed" missing "$(vqdcheck getvalue "$DRIVEDB" '')"
check_log_order "UnInst$fam" "UnInst$fam: Not forcing" "UnInst$fam: Install count=1 - uninstalling" \
    "UnInst$fam: Deleted $drv" "UnInst$fam: Done"

# ---- 8. a forced removal whatever the count
run /INSTALL
check_rc 6
vqdcheck setcount 5 >/dev/null
count_is "4 05000000"
run /FORCEREMOVE
check_rc 6
flags yes no
gone

# ---- 9. an install over the legacy driver counts it too
echo "old driver" >"$SYS32/$legacy"
case $fam in
    NT) vqdcheck setvalue "$SERVICES\\BREMCO" Type 4 01000000 >/dev/null ;;
    2K) vqdcheck setvalue "$SERVICES\\BREMCO2k" Type 4 01000000 >/dev/null
        vqdcheck setvalue "$CLASS" LowerFilters 7 "$(hex 'BREMCO2k\0\0')" >/dev/null ;;
esac
run /INSTALL
check_rc 6
check_absent "$SYS32/$legacy"
enabled "$OLD" "$OLD_TIMES"
count_is "4 02000000"
[ "$fam" = NT ] && check_eq "legacy service" missing "$(vqdcheck getvalue "$SERVICES\\BREMCO" Type)"
[ "$fam" = 2K ] && check_eq "legacy service" missing "$(vqdcheck getvalue "$SERVICES\\BREMCO2k" Type)"
check_log_has "$(case $fam in NT) echo 'InstNT: Found BREMCO - deleting' ;; 2K) echo 'Inst2K: Found BREMCO2K - deleting' ;;
    9x) echo 'Inst9x: Found PLOVANT - deleting' ;; esac)"

# ---- 10. Windows 2000 with "/NOREBOOT": the drives are restarted after the
# action instead of a reboot. Wine's class installer cannot restart a device
# (SetupDiSetClassInstallParamsA is a stub there), so both drives fail and
# the reboot is still needed; without drives nothing is left to reboot for.
if [ "$fam" = 2K ]; then
    run /FORCEREMOVE
    seed_cdroms "VQD Life Drive A" "multi:VQD Life Drive B|second string"
    run /INSTALL /NOREBOOT
    check_rc 6
    flags yes no
    enabled "$OLD" "$OLD_TIMES"
    check_eq "restart lines" "RD: Error getting device name for restart
RD: Restarting device: 
RD: Friendly name: VQD Life Drive A
RD: Couldn't set the install parameters 1: N
RD: Error getting device name for restart
RD: Restarting device: 
RD: Friendly name: VQD Life Drive B
RD: Couldn't set the install parameters 1: N" "$(e2e_log_lines | grep '^RD: ' | sed 's/: [0-9][0-9]*$/: N/')"
    check_log_order "Inst2K: Done" "RD: Friendly name: VQD Life Drive A" "RD: Friendly name: VQD Life Drive B"
    remove_cdroms
    run /FORCEREMOVE
    run /INSTALL /NOREBOOT
    check_rc 0
    flags no no
    enabled "$OLD" "$OLD_TIMES"
    check_log_lacks "RD: Restarting device: "
fi

# ---- 11. Windows 2000: a disabled driver is removed whole, at its last
# installation and by force; a lost filter entry reads as not installed and
# "/INSTALL" puts it back; a driver file that cannot be written fails the
# install (13) and counts nothing.
if [ "$fam" = 2K ]; then
    run /DISABLE
    check_rc 0
    check_exists "$disabled"
    run /REMOVE
    check_rc 0
    flags no no
    gone
    check_log_order "UnInst2K: Install count=1 - uninstalling" "UnInst2K: Deleted VQD2K.DIS" "UnInst2K: Done"
    check_log_lacks "MAIN: Uninstall failed - driver still registered"

    run /INSTALL
    check_rc 6
    vqdcheck setcount 3 >/dev/null
    run /DISABLE
    check_rc 0
    check_exists "$disabled"
    run /FORCEREMOVE
    check_rc 0
    flags no no
    gone

    run /INSTALL
    check_rc 6
    hklm_delete_value "$CLASS" LowerFilters
    run /CHECK
    check_rc 10
    flags no yes
    run /INSTALL
    check_rc 6
    flags yes no
    enabled "$OLD" "$OLD_TIMES"
    count_is "4 02000000"
    check_log_order "Inst2K: Didn't find another copy - installing" "Inst2K: File copy of VQD2K.SYS succeeded" \
        "Inst2K: Done"
    run /CHECK
    check_rc 11

    run /FORCEREMOVE
    check_rc 6
    gone
    mkdir "$active"
    run /INSTALL
    check_rc 13
    flags no no
    check_eq "driver path still a folder" yes "$([ -d "$active" ] && echo yes)"
    check_eq "service key" missing "$(vqdcheck getvalue "$SERVICES\\$svc" Start)"
    check_eq "LowerFilters" missing "$(vqdcheck getvalue "$CLASS" LowerFilters)"
    count_is missing
    check_log_order "Inst2K: File copy of VQD2K.SYS failed" "Inst2K: Done" "MAIN: Install failed - driver not installed"
    rmdir "$active"
fi

# ---- 12. a failed action is undone. An install over the legacy driver, an
# older drive database, ASPI exclusions and a foreign filter entry, with the
# driver's name taken by a folder: 13, and the registry and the files as
# they were. On Windows 2000 an upgrade whose copy fails (another program
# holds the installed driver open): 13, the old driver, its version and the
# old drive database stay.
# machine: the keys an action writes (exported by reg.exe) and the files of
# the driver folders and the INF store with their bytes and last-write times;
# on the NT family also the legacy service key, the product's key and the
# link's target exactly as vqdcheck dumps them (names, bytes, security,
# volatility, links as links).
machine() {
    local k
    for k in "$SERVICES" "$CLASS" 'SOFTWARE\Velcordia' "$SHARED"; do
        rm -f export.reg
        wine reg export "HKLM\\$k" export.reg /y </dev/null >/dev/null 2>&1
        [ -f export.reg ] && iconv -f UTF-16LE -t UTF-8 export.reg | tr -d '\r' | tail -n +2
    done
    [ "$fam" = 9x ] || vqdcheck dump "$SERVICES\\$oldsvc" 'SOFTWARE\Velcordia' 'SOFTWARE\Victim'
    (cd "$SYS32/.." && find system32/drivers system32/iosubsys inf -type f | sort | xargs -r stat -c '%n %Y' &&
        find system32/drivers system32/iosubsys inf -type f | sort | xargs -r md5sum)
}
reset_system
echo "old driver" >"$SYS32/$legacy"
vqdcheck setvalue "$SERVICES\\Aspi32\\Parameters" ExcludeMiniports 1 "$(hex 'vqdlegacy\0')" >/dev/null
vqdcheck setvalue "$DRIVEDB" '' 1 "$(hex '1.0.0.1\0')" >/dev/null
vqdcheck setvalue "$DRIVEDB\\Old" ACME 1 "$(hex '1\0')" >/dev/null
case $fam in
    NT) vqdcheck setvalue "$SERVICES\\BREMCO" Type 4 01000000 >/dev/null ;;
    2K) vqdcheck setvalue "$SERVICES\\BREMCO2k" Type 4 01000000 >/dev/null
        vqdcheck setvalue "$SERVICES\\foreignflt" Type 4 01000000 >/dev/null
        vqdcheck setvalue "$CLASS" LowerFilters 7 "$(hex 'BREMCO2k\0foreignflt\0\0')" >/dev/null ;;
esac
# On the NT family also, in the drive database, a registry link to a key
# with a protected DACL outside it and a subkey whose name has no ANSI form
# (not in the legacy service key: the program's removal of that key deletes
# only subkeys it can name); in the legacy service key names and data with
# no ANSI form, a string of 5 bytes and a volatile "Enum" with a protected
# DACL. The undo neither follows the link nor loses any of it. Windows 9x
# has no links, security or volatile keys.
oldkey="$SERVICES\\$oldsvc"
protected='D:P(A;;KA;;;SY)(A;;KA;;;BA)'
if [ "$fam" != 9x ]; then
    check_eq "what planting printed besides result=1" "" "$({
        vqdcheck setvaluew 'SOFTWARE\Victim' Data 1 "$(hex16 'kept\0')"
        vqdcheck setsddl 'SOFTWARE\Victim' "$protected"
        vqdcheck link "$DRIVEDB\\X\\L" 'SOFTWARE\Victim'
        vqdcheck setvaluew "$oldkey" DisplayName 1 "$(hex16 'Ω legacy\0')"
        vqdcheck setvaluew "$oldkey" Aliases 7 "$(hex16 'aΩ\0\0')"
        vqdcheck setvaluew "$oldkey" NameΩ 4 01000000
        vqdcheck setvaluew "$oldkey" Odd 1 4100420000
        vqdcheck volatile "$oldkey\\Enum"
        vqdcheck setvaluew "$oldkey\\Enum" Count 4 01000000
        vqdcheck setsddl "$oldkey\\Enum" "$protected"
        vqdcheck setvaluew "$DRIVEDB\\漢字" Data 1 "$(hex16 'x\0')"
        # A filter entry with no ANSI form: the install rewrites the list.
        [ "$fam" = NT ] || vqdcheck setvaluew "$CLASS" LowerFilters 7 "$(hex16 'BREMCO2k\0foreignflt\0fltΩ\0\0')"
    } | grep -vx result=1)"
    plain='D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)'  # the DACL Wine gives a new key
    check_eq "the planted keys (owner and group left out)" "$DRIVEDB\\X\\L $plain link=\\Registry\\Machine\\SOFTWARE\\Victim
SOFTWARE\\Victim $protected
$oldkey $plain
$oldkey\\Enum $protected volatile
$DRIVEDB\\漢字 $plain" \
        "$(vqdcheck dump "$DRIVEDB\\X\\L" 'SOFTWARE\Victim' "$oldkey" "$DRIVEDB\\漢字" | sed -n 's/ O:[^ ]*D:/ D:/p')"
    links=$(vqdcheck dump "$DRIVEDB\\X\\L" 'SOFTWARE\Victim')
fi
mkdir "$active"
before=$(machine)
run /INSTALL
check_rc 13
flags no no
check_same "the machine after the failed install" "$before" "$(machine)"
if [ "$fam" != 9x ]; then
    check_same "the link and its target" "$links" "$(vqdcheck dump "$DRIVEDB\\X\\L" 'SOFTWARE\Victim')"
    check_eq "the target's value read through the link" "1 $(hex 'kept\0')" "$(vqdcheck getvalue "$DRIVEDB\\X\\L" Data)"
fi
check_log_order "Inst$fam: Done" "MAIN: Install failed - driver not installed" "UNDO: Restored $legacy_log"
rmdir "$active"
hklm_delete "$SERVICES\\foreignflt"

if [ "$fam" = 2K ]; then
    reset_system
    run /INSTALL
    check_rc 6
    vqdcheck setvalue "$DRIVEDB" '' 1 "$(hex '1.0.0.1\0')" >/dev/null
    before=$(machine)
    hold_open 'C:\windows\system32\drivers\VQD2K.SYS'
    EXE=$VQD_NEWER_EXE
    run /UPGRADE
    EXE=$VQD_EXE
    release_held
    check_rc 13
    flags no no
    check_same "the machine after the failed upgrade" "$before" "$(machine)"
    enabled "$OLD" "$OLD_TIMES"
    drivedb_is 1.0.0.1
    check_log_order "Upgrade2K: File copy of VQD2K.SYS failed" "MAIN: Upgrade failed - driver not replaced" \
        "UNDO: Restored $DRIVEDB"
fi

# ---- 13. Windows 9x: the driver file is the registration. A removal that
# cannot delete it (held open, as a loaded driver's file can be) fails and
# is undone: count, drive database and all as they were.
if [ "$fam" = 9x ]; then
    reset_system
    run /INSTALL
    check_rc 6
    before=$(machine)
    hold_open "$(vqd_winpath "$active")"
    run /FORCEREMOVE
    check_rc 13
    flags no no
    check_same "the machine after the failed removal" "$before" "$(machine)"
    check_log_order "UnInst9x: Failed to delete MERIDAX.VXD" "UnInst9x: Done" \
        "MAIN: Uninstall failed - driver still registered"
    release_held
    check_eq "holdopen.exe exit code" 0 "$?"
    run /FORCEREMOVE
    check_rc 6
    gone
fi

# ---- 14. a run killed in the middle (kill -9 at a line of its log, see
# kill_at) leaves its journal; the next run that acts undoes it first, then
# does its own action. An install killed after its changes (on Windows 2000
# also after the driver copy and after the filter entry), each time followed
# by the install: 6, counted once. "/CHECK" only reports the pending journal
# (10). At the second installation a removal killed after its count went
# down (on Windows 2000 also just before), then the removal: counted down
# once, the driver stays.
JOURNAL="$SYS32/~vqd/journal"
install_points=("Inst$fam: Done")
removal_points=("UnInst$fam: Done")
if [ "$fam" = 2K ]; then
    install_points=("Inst2K: File copy of VQD2K.SYS succeeded" "ALF: Succeeded" "Inst2K: Done")
    removal_points=("SIC: Changing value to 1" "UnInst2K: Done")
fi
undone_then() {  # LINE...: the journal undone before the run's own action
    check_absent "$JOURNAL"
    check_log_order "JNL: Undoing the journal of an interrupted run" "JNL: Interrupted run undone" "$@"
}
reset_system
for point in "${install_points[@]}"; do
    kill_at "$point" "$VQD_EXE" /INSTALL
    check_exists "$JOURNAL"
    if [ "$point" = "${install_points[0]}" ]; then
        e2e_reset
        e2e_probe --click 7 -- "$(vqd_winpath "$VQD_EXE")" /CHECK /DEBUG
        E2E_ARGS="vqdinst /CHECK after a killed install"
        check_rc 10
        check_log_has "MAIN: Journal of an interrupted run pending"
        check_exists "$JOURNAL"
    fi
    run /INSTALL
    check_rc 6
    flags yes no
    enabled "$OLD" "$OLD_TIMES"
    count_is "4 01000000"
    undone_then "MAIN: Install switch activated" "Inst$fam: Done"
    [ "$point" = "${install_points[-1]}" ] || run /FORCEREMOVE
done
run /INSTALL
count_is "4 02000000"
for point in "${removal_points[@]}"; do
    kill_at "$point" "$VQD_EXE" /REMOVE
    check_exists "$JOURNAL"
    run /REMOVE
    check_rc 0
    flags no no
    enabled "$OLD" "$OLD_TIMES"
    count_is "4 01000000"
    undone_then "MAIN: Uninstall switch activated" "UnInst$fam: Done"
    run /INSTALL
    check_rc 0
done

# ---- 15. Windows 2000: one product's install and another's removal started
# together, ten times. One run waits for the other, so each round ends as
# one order or the other does (the removal first: 6 and 6; the install
# first: 0 and 0): the driver, its service and its filter entry in place,
# counted once.
if [ "$fam" = 2K ]; then
    reset_system
    run /INSTALL
    check_rc 6
    mkdir -p one two
    installed="VQD2K.SYS 4 01000000 7 $(hex 'VQD2K\0\0') 4 01000000"
    for round in 1 2 3 4 5 6 7 8 9 10; do
        (cd one && exec timeout 60 wine "$VQD_EXE" /INSTALL </dev/null >/dev/null 2>&1) &
        installer=$!
        (cd two && exec timeout 60 wine "$VQD_EXE" /REMOVE </dev/null >/dev/null 2>&1) &
        remover=$!
        wait $installer
        codes=$?
        wait $remover
        codes+=" $?"
        E2E_ARGS="round $round: vqdinst /INSTALL and vqdinst /REMOVE at once"
        case $codes in "0 0" | "6 6") want=$codes ;; *) want="0 0 or 6 6" ;; esac
        check_eq "exit codes; driver, service Type, LowerFilters, count" "$want $installed" \
            "$codes $(cmp -s "$active" "$OLD/$drv" && echo $drv) $(vqdcheck getvalue "$SERVICES\\$svc" Type) $(vqdcheck getvalue "$CLASS" LowerFilters) $(count)"
        check_eq "journal and temporary directories left" "" \
            "$(ls -d "$JOURNAL" "$WINEPREFIX"/drive_c/users/*/Temp/931fas~9* 2>/dev/null)"
    done
fi

# ---- 16. Windows 2000 with system32\drivers on a full filesystem (a small
# tmpfs mounted over it, with what it held): an upgrade over the installed
# driver fails (13) and leaves the machine as it was, the old driver byte for
# byte; an install fails (13) and leaves no driver file. Mounting needs root.
DRIVERS_TMPFS=""
unmount_drivers() {
    [ -n "$DRIVERS_TMPFS" ] || return 0
    umount "$SYS32/drivers" || umount -l "$SYS32/drivers"
    DRIVERS_TMPFS=""
}
fill_drivers() {  # every free byte of the tmpfs taken
    local n=0
    while cat /dev/zero >"$SYS32/drivers/filler$n.bin" 2>/dev/null; do n=$((n + 1)); done
    check_eq "free space on the drivers tmpfs" 0 "$(df --output=avail "$SYS32/drivers" | tail -n 1 | tr -d ' ')"
}
if [ "$fam" = 2K ]; then
    reset_system
    run /INSTALL
    check_rc 6
    cp -a "$SYS32/drivers" drivers.before
    trap 'unmount_drivers; release_held; [ "$E2E_CDROMS_SEEDED" = 0 ] || remove_cdroms' EXIT
    if mount -t tmpfs -o size=4m,mode=755 tmpfs "$SYS32/drivers" 2>mount.txt; then
        DRIVERS_TMPFS=1
        cp -a drivers.before/. "$SYS32/drivers/"
        fill_drivers
        before=$(machine)
        EXE=$VQD_NEWER_EXE
        run /UPGRADE /OVERWRITE
        EXE=$VQD_EXE
        check_rc 13
        flags no no
        check_same "the machine after the upgrade on a full disk" "$before" "$(machine)"
        cmp -s "$active" "$OLD/$drv"
        check_eq "$drv is the old one byte for byte" 0 $?
        rm -f "$active"
        hklm_delete "$SERVICES\\VQD2K"
        hklm_delete_value "$CLASS" LowerFilters
        hklm_delete "$SHARED"
        fill_drivers
        run /INSTALL
        check_rc 13
        flags no no
        check_eq "driver files after the install on a full disk" "" \
            "$(find "$SYS32/drivers" -maxdepth 1 -iname 'vqd*' -printf '%f\n')"
        check_eq "service key" missing "$(vqdcheck getvalue "$SERVICES\\$svc" Start)"
        check_eq "LowerFilters" missing "$(vqdcheck getvalue "$CLASS" LowerFilters)"
        count_is missing
        check_log_has "MAIN: Install failed - driver not installed"
        unmount_drivers
    else
        e2e_fail "cannot mount a tmpfs over $SYS32/drivers (run as root): $(cat mount.txt)"
    fi
fi

reset_system
e2e_finish
