#!/usr/bin/env bash
# The installed driver's registry side against Wine's real registry, through
# vqdcheck.exe, in one Windows version ($1): key deletion, the CD-ROM class
# lower filters, service keys, install counts, probes, the drive database
# import with the real registry editor, and the legacy drivers.
source "$(dirname "$0")/lib.sh"
os=$1
e2e_begin "registry-$os" "$os"
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"

reset_registry() {
    local k
    for k in VQD VQD2K VQDTESTA VQDTESTXVQD2K BREMCO BREMCO2k Aspi32; do hklm_delete "$SERVICES\\$k"; done
    hklm_delete_value "$CLASS" LowerFilters
    hklm_delete "$SHARED"
    hklm_delete 'SOFTWARE\Velcordia'
    hklm_delete 'SOFTWARE\VqdTest'
    rm -f "$SYS32"/drivers/{VQD.SYS,VQD2K.SYS,BREMCO.SYS,BREMCO2K.SYS} "$SYS32"/iosubsys/{MERIDAX.VXD,PLOVANT.VXD}
}
service() {  # a service key with one value, so that it exists
    vqdcheck setvalue "$SERVICES\\$1" Type 4 01000000 >/dev/null
}
filters() {
    vqdcheck getvalue "$CLASS" LowerFilters
}
set_filters() {
    vqdcheck setvalue "$CLASS" LowerFilters 7 "$(hex "$1")" >/dev/null
}
reset_registry
mkdir -p "$SYS32/drivers" "$SYS32/iosubsys"
# The CD-ROM device class, as every Windows 2000 has it.
vqdcheck setvalue "$CLASS" Class 1 "$(hex 'CDROM\0')" >/dev/null

# ---- key deletion
if [ "$os" = win98 ]; then
    # The whole tree goes with one call. Wine's 9x mode deletes only a single
    # chain of subkeys correctly (siblings make it fail half-way), so that is
    # what is checked here; the unit tests cover wider trees.
    vqdcheck setvalue 'SOFTWARE\VqdTest\A\INNER' x 4 01000000 >/dev/null
    rm -f "$E2E_LOG"
    check_eq "delete tree" "result=1" "$(vqdcheck --log deletekey 'SOFTWARE\VqdTest')"
    check_eq "tree deleted" "missing" "$(vqdcheck getvalue 'SOFTWARE\VqdTest\A\INNER' x)"
    check_log_line 2 'DK: 9X: DeleteKey SOFTWARE\VqdTest SUCCESS'
else
    vqdcheck setvalue 'SOFTWARE\VqdTest\A' x 4 01000000 >/dev/null
    vqdcheck setvalue 'SOFTWARE\VqdTest\B' x 4 01000000 >/dev/null
    check_eq "delete key with two subkeys" "result=1" "$(vqdcheck deletekey 'SOFTWARE\VqdTest')"
    check_eq "deleted" "missing" "$(vqdcheck getvalue 'SOFTWARE\VqdTest\A' x)"
    vqdcheck setvalue 'SOFTWARE\VqdTest\A\INNER' x 4 01000000 >/dev/null
    rm -f "$E2E_LOG"
    check_eq "delete nested key" "result=0" "$(vqdcheck --log deletekey 'SOFTWARE\VqdTest')"
    check_eq "inner level stays" "4 01000000" "$(vqdcheck getvalue 'SOFTWARE\VqdTest\A\INNER' x)"
    check_log_line 2 'DK: NT/2K: DeleteKey SOFTWARE\VqdTest'
    check_log_line 3 'DK: NT/2K: DeleteKey SOFTWARE\VqdTest FAILED'
fi
check_eq "delete missing key" "result=0" "$(vqdcheck deletekey 'SOFTWARE\VqdMissing')"

# ---- lower filters
service VQD2K
rm -f "$E2E_LOG"
check_eq "add to no value" "result=1" "$(vqdcheck --log addfilter VQD2K)"
check_eq "stored" "7 $(hex 'VQD2K\0\0')" "$(filters)"
check_eq "log" "ALF
ALF: new filter not empty: VQD2K
ALF: Opened CDROM class key
ALF: no existing LowerFilter key
FBD: Begin
FBD: Had \\ killing
FBD: End
ALF: didn't find bad driver in: VQD2K\\\\
ALF: Writing LowerFilter value VQD2K\\\\
ALF: Succeeded" "$(e2e_log_lines | tail -n +2)"

service VQDTESTA
service VQDTESTXVQD2K
set_filters 'ghost\0vqdtesta\0VQDTESTXVQD2K\0\0'
check_eq "add sweeps and matches whole entries" "result=1" "$(vqdcheck addfilter vqd2k)"
check_eq "stored" "7 $(hex 'VQD2K\0VQDTESTA\0VQDTESTXVQD2K\0\0')" "$(filters)"
check_eq "check" "result=1" "$(vqdcheck checkfilter VQD2K)"
check_eq "remove" "result=1" "$(vqdcheck removefilter VQD2K)"
check_eq "stored" "7 $(hex 'VQDTESTA\0VQDTESTXVQD2K\0\0')" "$(filters)"
check_eq "check removed" "result=0" "$(vqdcheck checkfilter VQD2K)"
check_eq "remove absent" "result=0" "$(vqdcheck removefilter VQD2K)"
set_filters 'VQD2K\0\0'
check_eq "remove only entry" "result=1" "$(vqdcheck removefilter VQD2K)"
check_eq "value deleted" "missing" "$(filters)"

# ---- service keys, counts and the probe of this family
check_eq "create VQD2K service" "result=1" "$(vqdcheck service vqd2k create)"
check_eq "DisplayName" "1 $(hex 'VQD2k\0')" "$(vqdcheck getvalue "$SERVICES\\VQD2K" DisplayName)"
check_eq "Start" "4 01000000" "$(vqdcheck getvalue "$SERVICES\\VQD2K" Start)"
check_eq "Group" "1 $(hex 'SCSI CDROM Class\0')" "$(vqdcheck getvalue "$SERVICES\\VQD2K" Group)"
check_eq "create VQD service" "result=1" "$(vqdcheck service vqd create)"
check_eq "Start (NT 4)" "4 00000000" "$(vqdcheck getvalue "$SERVICES\\VQD" Start)"
check_eq "remove VQD service" "result=1" "$(vqdcheck service vqd remove)"
check_eq "VQD service gone" "missing" "$(vqdcheck getvalue "$SERVICES\\VQD" Start)"

check_eq "no count" "count=0" "$(vqdcheck getcount)"
vqdcheck setcount 2 >/dev/null
check_eq "count" "count=2" "$(vqdcheck getcount)"
case "$os" in
    nt40) counted='C:\windows\system32\DRIVERS\VQD.SYS' ;;
    win98) counted='C:\windows\system32\IOSUBSYS\MERIDAX.VXD' ;;
    *) counted='C:\windows\system32\DRIVERS\VQD2K.SYS' ;;
esac
check_eq "count value" "4 02000000" "$(vqdcheck getvalue "$SHARED" "$counted")"
vqdcheck setcount 0 >/dev/null
check_eq "count deleted" "missing" "$(vqdcheck getvalue "$SHARED" "$counted")"

check_eq "not installed" "result=0" "$(vqdcheck installed)"
case "$os" in
    nt40) echo driver >"$SYS32/drivers/VQD.SYS"; vqdcheck service vqd create >/dev/null ;;
    win98) echo driver >"$SYS32/iosubsys/MERIDAX.VXD" ;;
    *) echo driver >"$SYS32/drivers/VQD2K.SYS"
       check_eq "file and key without filter" "result=0" "$(vqdcheck installed)"
       vqdcheck addfilter VQD2K >/dev/null ;;
esac
check_eq "installed" "result=1" "$(vqdcheck installed)"

# ---- drive database, imported by the real registry editor
check_eq "first import" "result=1" "$(vqdcheck drivedb install)"
version=$(sed -n 's/^DRIVEDB.REG: //p' "$VQD_WIN32_DIR/payload/payload-versions.txt")
check_eq "database version" "1 $(hex "$version")00" "$(vqdcheck getvalue "$DRIVEDB" '')"
check_eq "equal version is not imported" "result=0" "$(vqdcheck drivedb install)"
check_eq "remove database" "result=1" "$(vqdcheck drivedb remove)"
check_eq "database gone" "missing" "$(vqdcheck getvalue "$DRIVEDB" '')"
check_eq "temporary directory removed" "" "$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp/931fas~9* 2>/dev/null)"

# A TEMP with blanks, as under "Documents and Settings": the registry editor
# must get the extracted file as one argument. The prefix has no TEMP of the
# user's own, so deleting it afterwards restores the one it had.
mkdir -p "$WINEPREFIX/drive_c/Documents and Settings/Jo Smith/Temp"
wine reg add 'HKCU\Environment' /v TEMP /d 'C:\Documents and Settings\Jo Smith\Temp' /f </dev/null >/dev/null 2>&1
check_eq "import through a TEMP with blanks" "result=1" "$(vqdcheck drivedb install)"
check_eq "database imported" "1 $(hex "$version")00" "$(vqdcheck getvalue "$DRIVEDB" '')"
check_eq "that temporary directory removed" "" "$(ls -A "$WINEPREFIX/drive_c/Documents and Settings/Jo Smith/Temp")"
wine reg delete 'HKCU\Environment' /v TEMP /f </dev/null >/dev/null 2>&1
rm -rf "$WINEPREFIX/drive_c/Documents and Settings"
vqdcheck drivedb remove >/dev/null

# ---- legacy driver of this family, and the ASPI exclusion
check_eq "no legacy driver" "result=0" "$(vqdcheck legacy probe)"
case "$os" in
    nt40) echo old >"$SYS32/drivers/BREMCO.SYS"; service BREMCO; gone="$SYS32/drivers/BREMCO.SYS" ;;
    win98) echo old >"$SYS32/iosubsys/PLOVANT.VXD"; gone="$SYS32/iosubsys/PLOVANT.VXD" ;;
    *) echo old >"$SYS32/drivers/BREMCO2K.SYS"; service BREMCO2k; gone="$SYS32/drivers/BREMCO2K.SYS"
       set_filters 'BREMCO2K\0VQD2K\0\0' ;;
esac
check_eq "legacy driver found" "result=1" "$(vqdcheck legacy probe)"
check_eq "legacy driver removed" "result=1" "$(vqdcheck legacy remove)"
check_absent "$gone"
check_eq "legacy driver gone" "result=0" "$(vqdcheck legacy probe)"
[ "$os" = win2k ] && check_eq "filters after removal" "7 $(hex 'VQD2K\0\0')" "$(filters)"
check_eq "clear exclusion" "result=1" "$(vqdcheck aspi)"
check_eq "exclusion value" "1 00" "$(vqdcheck getvalue "$SERVICES\\Aspi32\\Parameters" ExcludeMiniports)"

reset_registry
e2e_finish
