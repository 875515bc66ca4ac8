#!/usr/bin/env bash
# The example setup program (examples/nsis/burner.nsi), built with makensis
# around this build's vqdinst.exe, installed and uninstalled silently in one
# Windows version ($1) as a deployment runs it: a first install, a repair
# over a driver the user disabled, the uninstall, a driver shared with
# another product, (win2k) a Windows the driver does not support, and a
# driver that cannot be copied. After every step: the setup's exit code, no
# box, no flag file or temporary folder left, the driver with its
# registration, the install count, the product's files, its Add/Remove
# Programs entry and its Setup.log (the vqdinst.exe runs in order, with
# their exit codes, and the warnings).
source "$(dirname "$0")/lib.sh"
os=$1
e2e_begin "nsis-$os" "$os"
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"
command -v makensis >/dev/null || e2e_die "makensis not found (package nsis, tools/deps.sh)"
EXAMPLE="$E2E_LIB_DIR/../../examples/nsis"

case "$os" in
    win98) fam=9x; dir=iosubsys; drv=MERIDAX.VXD; dis=MERIDAX.DIS; svc= ;;
    nt40) fam=NT; dir=drivers; drv=VQD.SYS; dis=VQD.DIS; svc=VQD; start=00000000 ;;
    *) fam=2K; dir=drivers; drv=VQD2K.SYS; dis=VQD2K.DIS; svc=VQD2K; start=01000000 ;;
esac
active="$SYS32/$dir/$drv"
disabled="$SYS32/$dir/$dis"
counted="C:\\windows\\system32\\$(tr a-z A-Z <<<"$dir")\\$drv"
UNINST='SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VQDExampleBurner'
PRODUCT='SOFTWARE\Quillfen Software\VQD Example Burner'
# "/D=" and "_?=" take the rest of the command line as it stands, quotes
# included, and the probe quotes an argument with blanks: a folder without.
INSTDIR_WIN='C:\VQDBurner'
INSTDIR="$WINEPREFIX/drive_c/VQDBurner"
TEMPS=("$WINEPREFIX"/drive_c/users/*/Temp)

SETUP="$E2E_SCRATCH/BurnerSetup.exe"
makensis -V2 -DVQDINST="$VQD_EXE" -DOUTFILE="$SETUP" "$EXAMPLE/burner.nsi" >"$E2E_SCRATCH/makensis.txt" 2>&1 ||
    e2e_die "makensis failed: $(cat "$E2E_SCRATCH/makensis.txt")"
check_eq "makensis warnings" "" "$(grep -i warning "$E2E_SCRATCH/makensis.txt")"

reset_system() {
    local k
    for k in VQD VQD2K; do hklm_delete "$SERVICES\\$k"; done
    hklm_delete_value "$CLASS" LowerFilters
    hklm_delete "$SHARED"
    hklm_delete 'SOFTWARE\Velcordia'
    hklm_delete "$UNINST"
    hklm_delete 'SOFTWARE\Quillfen Software'
    # -r: step 6 puts a folder in the driver's place.
    rm -rf "$SYS32"/drivers/{VQD,VQD2K}.{SYS,DIS} "$SYS32"/iosubsys/MERIDAX.{VXD,DIS}
    rm -rf "$INSTDIR" "${TEMPS[0]}"/ns*.tmp "${TEMPS[0]}"/~ns*.tmp
    mkdir -p "$SYS32/drivers" "$SYS32/iosubsys"
    # The CD-ROM device class, as every Windows 2000 has it: without it the
    # filter entry cannot be written and "/CHECK" never passes.
    vqdcheck setvalue "$CLASS" Class 1 "$(hex 'CDROM\0')" >/dev/null
}

# leftovers: flag files or temporary folders that a run left anywhere the
# setup, the uninstaller or vqdinst.exe could have written them.
leftovers() {
    find "$E2E_SCRATCH" "$INSTDIR" "${TEMPS[@]}" \( -name reboot.txt -o -name badinst.txt \
        -o -name 'ns*.tmp' -o -name '~ns*.tmp' -o -name '931fas~9*' \) 2>/dev/null
}
# setup: the installer, silent, into INSTDIR; then every box and leftover.
setup() {
    e2e_probe --timeout 60000 -- "$(vqd_winpath "$SETUP")" /S "/D=$INSTDIR_WIN"
    E2E_ARGS="BurnerSetup.exe /S ($os)"
    check_nobox
    check_eq "left behind" "" "$(leftovers)"
}
# uninstall: the product's uninstaller, silent, waiting for it.
uninstall() {
    e2e_probe --timeout 60000 -- "$INSTDIR_WIN\\uninst.exe" /S "_?=$INSTDIR_WIN"
    E2E_ARGS="uninst.exe /S ($os)"
    check_nobox
    check_eq "left behind" "" "$(leftovers)"
}
# vqdinst ARGS...: another product's setup running vqdinst.exe itself, in
# the scratch folder; its reboot flag file is taken away after the check.
vqdinst() {
    e2e_run "$@"
    check_nobox
    if [ "$E2E_RC" = 6 ]; then
        check_eq "reboot.txt" reboot "$(cat reboot.txt 2>/dev/null)"
    else
        check_absent reboot.txt
    fi
    rm -f reboot.txt
}
# log_is LINES: the product's Setup.log, the setup's record of each
# vqdinst.exe run with its exit code and of each warning, in order.
log_is() {
    check_eq "Setup.log" "$1" "$(tr -d '\r' <"$INSTDIR/Setup.log" 2>/dev/null)"
}
count_is() { check_eq "install count" "$1" "$(vqdcheck getvalue "$SHARED" "$counted")"; }
# sz TEXT: a REG_SZ value as vqdcheck shows it (TEXT taken as it stands).
sz() { echo "1 $(printf '%s\0' "$1" | od -An -tx1 | tr -d ' \n')"; }

# driver_enabled: the carried driver under its active name, registered as
# this family registers it.
driver_enabled() {
    check_exists "$active"
    check_absent "$disabled"
    cmp -s "$active" "$VQD_WIN32_DIR/payload/$drv"
    check_eq "$drv is the payload's" 0 $?
    if [ -n "$svc" ]; then
        check_eq "service Start" "4 $start" "$(vqdcheck getvalue "$SERVICES\\$svc" Start)"
    fi
    if [ "$fam" = 2K ]; then
        check_eq "LowerFilters" "7 $(hex 'VQD2K\0\0')" "$(vqdcheck getvalue "$CLASS" LowerFilters)"
    elif [ "$fam" = NT ]; then
        check_eq "LowerFilters untouched" missing "$(vqdcheck getvalue "$CLASS" LowerFilters)"
    else
        check_eq "no NT service key" "missing missing" \
            "$(vqdcheck getvalue "$SERVICES\\VQD" Start) $(vqdcheck getvalue "$SERVICES\\VQD2K" Start)"
    fi
}
driver_gone() {
    check_absent "$active"
    check_absent "$disabled"
    [ -n "$svc" ] && check_eq "service key" missing "$(vqdcheck getvalue "$SERVICES\\$svc" Start)"
    check_eq "LowerFilters" missing "$(vqdcheck getvalue "$CLASS" LowerFilters)"
    count_is missing
}
# product_installed COUNTED: files, uninstaller, Add/Remove Programs entry;
# COUNTED is the setup's own record that it counted itself on the driver.
product_installed() {
    local f
    for f in ReadMe.txt Burner.ini; do
        cmp -s "$INSTDIR/$f" "$EXAMPLE/files/$f"
        check_eq "$f installed" 0 $?
    done
    check_exists "$INSTDIR/uninst.exe"
    check_eq "DisplayName" "$(sz 'VQD Example Burner')" "$(vqdcheck getvalue "$UNINST" DisplayName)"
    check_eq "Publisher" "$(sz 'Quillfen Software')" "$(vqdcheck getvalue "$UNINST" Publisher)"
    check_eq "UninstallString" "$(sz "\"$INSTDIR_WIN\\uninst.exe\"")" "$(vqdcheck getvalue "$UNINST" UninstallString)"
    check_eq "DriverCounted" "$1" "$(vqdcheck getvalue "$PRODUCT" DriverCounted)"
}
# product_gone: all but the uninstaller, which cannot delete itself when
# run with "_?="; its caller then removes it and the folder.
product_gone() {
    check_absent "$INSTDIR/ReadMe.txt"
    check_absent "$INSTDIR/Burner.ini"
    check_absent "$INSTDIR/Setup.log"
    check_exists "$INSTDIR/uninst.exe"
    check_eq "Add/Remove Programs entry" missing "$(vqdcheck getvalue "$UNINST" DisplayName)"
    check_eq "product key" missing "$(vqdcheck getvalue "$PRODUCT" DriverCounted)"
    rm -rf "$INSTDIR"
}

reset_system

# ---- 1. first install: driver copied, counted once, the reboot reported
# as 3010 (ERROR_SUCCESS_REBOOT_REQUIRED) with the question answered No
setup
check_rc 3010
driver_enabled
count_is "4 01000000"
product_installed "4 01000000"
FIRST="vqdinst.exe /CHECK: 10
vqdinst.exe /INSTALL: 6
vqdinst.exe /CHECK: 11"
log_is "$FIRST"

# ---- 2. the user disables the driver, then repairs the product: the setup's
# "/CHECK" finds it disabled, enables it ("/ENABLE"), and upgrades instead of
# installing, so the count stays at one product
vqdinst /DISABLE
check_rc 0
check_exists "$disabled"
setup
check_rc 3010
driver_enabled
count_is "4 01000000"
product_installed "4 01000000"
log_is "$FIRST
vqdinst.exe /CHECK: 10
vqdinst.exe /ENABLE: 0
vqdinst.exe /UPGRADE: 0
vqdinst.exe /CHECK: 11"

# ---- 3. uninstall: the last product, so "/REMOVE" takes the driver away
uninstall
check_rc 3010
driver_gone
product_gone

# ---- 4. another product installed the driver first: this setup's "/CHECK"
# passes, its "/INSTALL" only counts (no reboot), and its uninstall gives
# back its count and leaves the driver to the other product
reset_system
vqdinst /INSTALL
check_rc 6
count_is "4 01000000"
setup
check_rc 0
driver_enabled
count_is "4 02000000"
product_installed "4 01000000"
log_is "vqdinst.exe /CHECK: 11
vqdinst.exe /INSTALL: 0
vqdinst.exe /CHECK: 11"
uninstall
check_rc 0
driver_enabled
count_is "4 01000000"
product_gone
vqdinst /REMOVE
check_rc 6
driver_gone

# ---- 5. a Windows the driver does not support: "/CHECK" exits 12, the setup
# warns (silently) and installs the product without the driver; once another
# product has installed the driver (on win2k), this product's uninstall does
# not give back the count it never took
if [ "$fam" = 2K ]; then
    reset_system
    vqd_set_os win7 || e2e_die "cannot set Windows version win7"
    setup
    check_rc 0
    driver_gone
    product_installed missing
    log_is "vqdinst.exe /CHECK: 12
Warning: The VQD driver does not support this version of Windows. VQD Example Burner is installed without it and cannot burn discs."
    vqd_set_os win2k || e2e_die "cannot set Windows version win2k"
    vqdinst /INSTALL
    check_rc 6
    uninstall
    check_rc 0
    product_gone
    driver_enabled
    count_is "4 01000000"
fi

# ---- 6. the driver cannot be copied (Windows 9x: no IOSUBSYS folder; NT: a
# folder in the way of the driver file): "/INSTALL" counts nothing and exits
# 13, the setup warns (silently) and records no count; its uninstall gives
# nothing back
reset_system
if [ "$fam" = 9x ]; then
    rmdir "$SYS32/iosubsys"
else
    mkdir "$active"
fi
setup
check_rc 0
[ "$fam" = 9x ] && check_absent "$active"
[ "$fam" != 9x ] && check_eq "driver path still a folder" yes "$([ -d "$active" ] && echo yes)"
count_is missing
product_installed missing
log_is "vqdinst.exe /CHECK: 10
vqdinst.exe /INSTALL: 13
Warning: The VQD driver could not be installed (code 13). VQD Example Burner cannot burn discs until it is."
uninstall
check_rc 0
count_is missing
product_gone

reset_system
e2e_finish
