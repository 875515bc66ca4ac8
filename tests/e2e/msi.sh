#!/usr/bin/env bash
# The example Windows Installer package (examples/msi), built with wixl
# around this build's vqdinst.exe and vqdaction.dll, installed, repaired and
# removed by Wine's msiexec silently in one Windows version ($1), as a
# deployment tool runs it: a first install, a repair, a second product with
# the same driver, the two uninstalls, and an install whose driver cannot be
# placed. After every step: msiexec's exit code (Wine hands Linux its low
# byte: 3010 is 194, 1603 is 67), the vqdinst.exe runs in the installer's
# log, the driver with its bytes and registration, the install count, the
# INF in the store, no temporary directory or flag file left, and each
# product's registration and folder.
source "$(dirname "$0")/lib.sh"
os=$1
e2e_begin "msi-$os" "$os"
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"
command -v wixl >/dev/null || e2e_die "wixl not found (packages wixl and msitools, tools/deps.sh)"
BUILD="$E2E_LIB_DIR/../../examples/msi/build.sh"

active="$SYS32/drivers/VQD2K.SYS"
counted='C:\windows\system32\DRIVERS\VQD2K.SYS'
INF_STORE="$WINEPREFIX/drive_c/windows/inf"
PROGRAMS="$WINEPREFIX/drive_c/Program Files"
UNINSTALL='SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'

# Two products with the same driver: the package's defaults, and another
# product code, upgrade code and folder.
A_NAME="VQD Example Burner"
A_CODE="{6D1F3C2A-5B7E-4E0F-9A41-2C8B7D0E5F13}"
B_NAME="VQD Example Player"
B_CODE="{3F8E2D71-0C4B-4A96-8E15-7B2A9C6D4E01}"
"$BUILD" --win32 "$VQD_WIN32_DIR" "$E2E_SCRATCH/A.msi" >"$E2E_SCRATCH/build.txt" 2>&1 &&
    "$BUILD" --win32 "$VQD_WIN32_DIR" --name "$B_NAME" --product-code "$B_CODE" \
        --upgrade-code "{A4C1E9B2-6F3D-4B87-9D20-5E8F1A3C7B64}" "$E2E_SCRATCH/B.msi" >>"$E2E_SCRATCH/build.txt" 2>&1 ||
    e2e_die "building the packages failed: $(cat "$E2E_SCRATCH/build.txt")"
check_eq "build.sh output" "" "$(cat "$E2E_SCRATCH/build.txt")"
# The custom action imports only what no planted copy can replace
# (vqdaction.cpp says why).
check_eq "vqdaction.dll imports" "KERNEL32.dll msi.dll" \
    "$(i686-w64-mingw32-objdump -p "$VQD_WIN32_DIR/vqdaction.dll" | sed -n 's/^\tDLL Name: //p' | xargs)"

# msiexec ARGS...: silent, with a verbose log of its own in the scratch
# folder ($MSILOG); E2E_RC is the exit code as Linux sees it.
step=0
msiexec() {
    step=$((step + 1))
    MSILOG="$E2E_SCRATCH/msiexec-$step.log"
    E2E_ARGS="msiexec $* ($os)"
    E2E_OUT=""
    timeout 180 wine msiexec "$@" /qn /l*v "$(vqd_winpath "$MSILOG")" </dev/null >/dev/null 2>&1
    E2E_RC=$?
    check_eq "temporary directory removed" "" \
        "$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp/931fas~9* "$WINEPREFIX"/drive_c/windows/temp/931fas~9* 2>/dev/null)"
}
# runs_are LINE...: the custom action's lines in the installer's log, in order.
runs_are() {
    local want
    want=$(printf '%s\n' "$@")
    check_eq "vqdinst.exe runs in the log" "$want" "$(tr -d '\r' <"$MSILOG" | grep '^vqdinst.exe ')"
}
count_is() { check_eq "install count" "$1" "$(vqdcheck getvalue "$SHARED" "$counted")"; }
inf_copies() {
    local f n=0
    for f in "$INF_STORE"/*.inf "$INF_STORE"/*.INF; do
        [ -f "$f" ] && cmp -s "$f" "$VQD_WIN32_DIR/payload/VQD2K.INF" && n=$((n + 1))
    done
    echo $n
}
# sz TEXT: a REG_SZ value as vqdcheck shows it.
sz() { echo "1 $(printf '%s\0' "$1" | od -An -tx1 | tr -d ' \n')"; }

# product_installed NAME CODE: registered under its product code (what
# Add/Remove Programs and a deployment tool's detection read), its folder
# holding this build's vqdinst.exe and no flag file.
product_installed() {
    check_eq "$1 registered" "$(sz "$1")" "$(vqdcheck getvalue "$UNINSTALL\\$2" DisplayName)"
    cmp -s "$PROGRAMS/$1/vqdinst.exe" "$VQD_EXE"
    check_eq "$1: vqdinst.exe installed" 0 $?
    check_eq "$1: flag files" "" "$(find "$PROGRAMS/$1" -iname '*.txt')"
}
product_gone() {
    check_eq "$1 registered" missing "$(vqdcheck getvalue "$UNINSTALL\\$2" DisplayName)"
    check_absent "$PROGRAMS/$1"
}
driver_enabled() {
    cmp -s "$active" "$VQD_WIN32_DIR/payload/VQD2K.SYS"
    check_eq "VQD2K.SYS is the payload's" 0 $?
    check_absent "$SYS32/drivers/VQD2K.DIS"
    check_eq "service Start" "4 01000000" "$(vqdcheck getvalue "$SERVICES\\VQD2K" Start)"
    check_eq "service Type" "4 01000000" "$(vqdcheck getvalue "$SERVICES\\VQD2K" Type)"
    check_eq "LowerFilters" "7 $(hex 'VQD2K\0\0')" "$(vqdcheck getvalue "$CLASS" LowerFilters)"
    check_eq "INF in the store" 1 "$(inf_copies)"
}
# driver_gone: nothing of the driver but the INF, which stays in the store.
driver_gone() {
    check_eq "service key" missing "$(vqdcheck getvalue "$SERVICES\\VQD2K" Start)"
    check_eq "LowerFilters" missing "$(vqdcheck getvalue "$CLASS" LowerFilters)"
    count_is missing
}

reset_system() {
    local f code
    for code in "$A_CODE" "$B_CODE"; do
        if [ "$(vqdcheck getvalue "$UNINSTALL\\$code" DisplayName)" != missing ]; then
            wine msiexec /x "$code" /qn </dev/null >/dev/null 2>&1
        fi
    done
    hklm_delete "$SERVICES\\VQD2K"
    hklm_delete_value "$CLASS" LowerFilters
    hklm_delete "$SHARED"
    hklm_delete 'SOFTWARE\Velcordia'
    rm -rf "$SYS32"/drivers/VQD2K.{SYS,DIS} "$PROGRAMS/$A_NAME" "$PROGRAMS/$B_NAME"
    for f in "$INF_STORE"/*; do
        grep -qs '^;Ver=' "$f" && rm -f "$f" "${f%.*}.pnf" "${f%.*}.PNF"
    done
    mkdir -p "$SYS32/drivers"
    # The CD-ROM device class, as every Windows 2000 has it.
    vqdcheck setvalue "$CLASS" Class 1 "$(hex 'CDROM\0')" >/dev/null
}

reset_system

# ---- 1. first install: the driver copied and counted, 3010 for the restart
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A.msi")"
check_rc 194
runs_are "vqdinst.exe /INSTALL: 6 (done, restart needed)" "vqdinst.exe /CHECK: 11 (the driver is correctly installed)"
driver_enabled
count_is "4 01000000"
product_installed "$A_NAME" "$A_CODE"

# ---- 2. a repair upgrades instead of installing: still counted once.
# (Wine's msiexec takes "/f" only with a product code and does not implement
# that; the same reinstall through its properties.)
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A.msi")" REINSTALL=ALL REINSTALLMODE=vomus
check_rc 0
runs_are "vqdinst.exe /UPGRADE: 0 (done)" "vqdinst.exe /CHECK: 11 (the driver is correctly installed)"
driver_enabled
count_is "4 01000000"
product_installed "$A_NAME" "$A_CODE"

# ---- 3. a second product with the same driver: counted, nothing copied
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/B.msi")"
check_rc 0
runs_are "vqdinst.exe /INSTALL: 0 (done)" "vqdinst.exe /CHECK: 11 (the driver is correctly installed)"
driver_enabled
count_is "4 02000000"
product_installed "$B_NAME" "$B_CODE"

# ---- 4. the first product's uninstall (by its package) leaves the driver
# to the other; the second's (by its product code) removes it: 3010
msiexec /x "$(vqd_winpath "$E2E_SCRATCH/A.msi")"
check_rc 0
runs_are "vqdinst.exe /REMOVE: 0 (done)"
driver_enabled
count_is "4 01000000"
product_gone "$A_NAME" "$A_CODE"
product_installed "$B_NAME" "$B_CODE"

msiexec /x "$B_CODE"
check_rc 194
runs_are "vqdinst.exe /REMOVE: 6 (done, restart needed)"
check_absent "$active"
driver_gone
check_eq "INF stays in the store" 1 "$(inf_copies)"
product_gone "$B_NAME" "$B_CODE"

# ---- 5. the driver cannot be placed (a folder holds its name): the custom
# action fails with 1603 and names the code ("/INSTALL" 13); the rollback gives
# the count back and removes what the install registered, and Windows
# Installer removes the product
reset_system
mkdir "$active"
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A.msi")"
check_rc 67
check_eq "the failed run in the log" "vqdinst.exe /INSTALL: 13 (the action did not do what it was asked): the action fails" \
    "$(tr -d '\r' <"$MSILOG" | grep ': the action fails$')"
check_eq "driver path still a folder" yes "$([ -d "$active" ] && echo yes)"
driver_gone
product_gone "$A_NAME" "$A_CODE"

reset_system
e2e_finish
