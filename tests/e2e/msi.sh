#!/usr/bin/env bash
# The example Windows Installer package (examples/msi), built with wixl
# around this build's vqdinst.exe and vqdaction.dll, installed, repaired and
# removed by Wine's msiexec silently in one Windows version ($1), as a
# deployment tool runs it: a first install, repairs, a second product with
# the same driver, the two uninstalls, an install whose driver cannot be
# placed, a major upgrade, uninstalls that must not get stuck, failures that
# must leave the count exact, the package's tables, (winxp) signed files. After every step: msiexec's exit code (Wine hands Linux its low
# byte: 3010 is 194, 1603 is 67), the vqdinst.exe runs in the installer's
# log, the driver with its bytes and registration, the install count, the
# INF in the store, no temporary directory or flag file left, and each
# product's registration and folder.
source "$(dirname "$0")/lib.sh"
os=$1
e2e_begin "msi-$os" "$os"
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"
command -v wixl >/dev/null || e2e_die "wixl not found (packages wixl and msitools, tools/deps.sh)"
command -v osslsigncode >/dev/null || e2e_die "osslsigncode not found (tools/deps.sh)"
BUILD="$E2E_LIB_DIR/../../examples/msi/build.sh"

active="$SYS32/drivers/VQD2K.SYS"
counted='C:\windows\system32\DRIVERS\VQD2K.SYS'
INF_STORE="$WINEPREFIX/drive_c/windows/inf"
PROGRAMS="$WINEPREFIX/drive_c/Program Files"
UNINSTALL='SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'

# Two products with the same driver, and A's next version (A2: a new
# product code, the same upgrade code).
A_NAME="VQD Example Burner"
A_CODE="{6D1F3C2A-5B7E-4E0F-9A41-2C8B7D0E5F13}"
A2_CODE="{51C7A0E4-2B9D-4F63-8A15-D6E3B0C9F742}"
B_NAME="VQD Example Player"
B_CODE="{3F8E2D71-0C4B-4A96-8E15-7B2A9C6D4E01}"
build() { "$BUILD" --win32 "$VQD_WIN32_DIR" "$@" >>"$E2E_SCRATCH/build.txt" 2>&1; }
A_UP=(--upgrade-code "{0E9A4B6C-3D2F-4A18-B7C5-91E2F4A6D830}")
build --product-code "$A_CODE" "${A_UP[@]}" "$E2E_SCRATCH/A.msi" &&
    build --product-code "$A2_CODE" "${A_UP[@]}" --version 1.1.0 "$E2E_SCRATCH/A2.msi" &&
    build --name "$B_NAME" --product-code "$B_CODE" --upgrade-code "{A4C1E9B2-6F3D-4B87-9D20-5E8F1A3C7B64}" \
        "$E2E_SCRATCH/B.msi" || e2e_die "building the packages failed: $(cat "$E2E_SCRATCH/build.txt")"
check_eq "build.sh output" "" "$(cat "$E2E_SCRATCH/build.txt")"
# The custom action imports only what no planted copy can replace
# (vqdaction.cpp says why).
check_eq "vqdaction.dll imports" "ADVAPI32.dll KERNEL32.dll msi.dll" \
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
# runs_are LINE...: the custom action's lines in the installer's log, in
# order (with the rollback's line when it did nothing).
runs_are() {
    local want
    want=$(printf '%s\n' "$@")
    check_eq "vqdinst.exe runs in the log" "$want" "$(tr -d '\r' <"$MSILOG" | grep -E '^(vqdinst.exe |Vqd.*Rollback: )')"
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
# holding this build's vqdinst.exe (or the one given third) and no flag file.
# The record of the count the product holds.
record_is() { check_eq "$2 holds a count" "$1" "$(vqdcheck getvalue "SOFTWARE\\Quillfen Software\\$2" DriverCounted)"; }
product_installed() {
    check_eq "$1 registered" "$(sz "$1")" "$(vqdcheck getvalue "$UNINSTALL\\$2" DisplayName)"
    record_is "4 01000000" "$2"
    cmp -s "$PROGRAMS/$1/vqdinst.exe" "${3:-$VQD_EXE}"
    check_eq "$1: vqdinst.exe installed" 0 $?
    check_eq "$1: flag files" "" "$(find "$PROGRAMS/$1" -iname '*.txt')"
}
product_gone() {
    check_eq "$1 registered" missing "$(vqdcheck getvalue "$UNINSTALL\\$2" DisplayName)"
    record_is missing "$2"
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
    vqd_set_os "$os"
    for code in "$A_CODE" "$A2_CODE" "$B_CODE"; do
        if [ "$(vqdcheck getvalue "$UNINSTALL\\$code" DisplayName)" != missing ]; then
            wine msiexec /x "$code" /qn </dev/null >/dev/null 2>&1
        fi
    done
    hklm_delete "$SERVICES\\VQD2K"
    hklm_delete_value "$CLASS" LowerFilters
    hklm_delete "$SHARED"
    hklm_delete 'SOFTWARE\Velcordia'
    hklm_delete 'SOFTWARE\Quillfen Software'
    rm -rf "$SYS32"/drivers/VQD2K.{SYS,DIS} "$PROGRAMS/$A_NAME" "$PROGRAMS/$B_NAME"
    remove_stored_infs
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

# A product that holds no count (its record gone, the driver removed by
# hand) is counted by its repair
hklm_delete "SOFTWARE\\Quillfen Software\\$A_CODE"
wine "$VQD_EXE" /FORCEREMOVE /NOFLAG </dev/null >/dev/null 2>&1
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A.msi")" REINSTALL=ALL REINSTALLMODE=vomus
check_rc 194
runs_are "vqdinst.exe /INSTALL: 6 (done, restart needed)" "vqdinst.exe /CHECK: 11 (the driver is correctly installed)"
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
# action fails with 1603 and names the code ("/INSTALL" 13); the rollback
# gives back only a count the install took, and Windows Installer removes
# the product
reset_system
mkdir "$active"
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A.msi")"
check_rc 67
check_eq "the failed run in the log" "vqdinst.exe /INSTALL: 13 (the action did not do what it was asked): the action fails" \
    "$(tr -d '\r' <"$MSILOG" | grep ': the action fails$')"
check_eq "the failure reported from the Error table" 1 "$(tr -d '\r' <"$MSILOG" | grep -c '^The VQD driver could not be put in place: vqdinst.exe /')"
check_eq "driver path still a folder" yes "$([ -d "$active" ] && echo yes)"
driver_gone
product_gone "$A_NAME" "$A_CODE"

# ---- 6. a major upgrade: A2 counts itself (2), then removes A (1); one
# product registered, the driver neither removed nor copied again
reset_system
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A.msi")"
check_rc 194
driver_file=$(stat -c %i "$active")
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A2.msi")"
check_rc 0
runs_are "vqdinst.exe /INSTALL: 0 (done)" "vqdinst.exe /CHECK: 11 (the driver is correctly installed)"
check_eq "the same driver file" "$driver_file" "$(stat -c %i "$active")"
driver_enabled
count_is "4 01000000"
product_installed "$A_NAME" "$A2_CODE"
check_eq "A removed" missing "$(vqdcheck getvalue "$UNINSTALL\\$A_CODE" DisplayName)"
record_is missing "$A_CODE"

# ---- 7. an uninstall is never stuck. Windows upgraded to one the driver
# does not support: "/REMOVE" exits 12, a warning, the product goes and the
# driver stays (counted, as nobody gave the count back), and the launch
# condition keeps the package from installing there
reset_system
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A.msi")"
check_rc 194
vqd_set_os win7
msiexec /x "$A_CODE"
check_rc 0
runs_are "vqdinst.exe /REMOVE: 12 (a Windows the driver does not support)"
check_eq "the warning" 1 "$(tr -d '\r' <"$MSILOG" | grep -c 'The VQD driver was left as it was: vqdinst.exe /REMOVE: 12')"
product_gone "$A_NAME" "$A_CODE"
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A.msi")"
check_rc 67
runs_are
product_gone "$A_NAME" "$A_CODE"
vqd_set_os "$os"
driver_enabled
count_is "4 01000000"

# vqdinst.exe deleted from the product folder: the copy the package carries
# removes the driver
reset_system
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A.msi")"
check_rc 194
rm "$PROGRAMS/$A_NAME/vqdinst.exe"
msiexec /x "$A_CODE"
check_rc 194
runs_are "vqdinst.exe is missing from C:\\Program Files\\$A_NAME\\: the copy the package carries runs instead" \
    "vqdinst.exe /REMOVE: 6 (done, restart needed)"
driver_gone
product_gone "$A_NAME" "$A_CODE"

# ---- 8. exact counts under failure. Another product's driver is there but
# not active (its filter entry lost), and its file held open: only this
# install's "/INSTALL" fails, and the rollback takes nothing from the other,
# also where a failed uninstall of this product left its record behind
reset_system
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/B.msi")"
check_rc 194
hklm_delete_value "$CLASS" LowerFilters
vqdcheck setvalue "SOFTWARE\\Quillfen Software\\$A_CODE" DriverCounted 4 01000000 >/dev/null
STOP="$E2E_SCRATCH/stop"
wine "$VQD_HOLDOPEN" "$(vqd_winpath "$STOP")" 'C:\windows\system32\drivers\VQD2K.SYS' </dev/null >/dev/null 2>&1 &
for _ in $(seq 200); do [ -f "$STOP.ready" ] && break; sleep 0.05; done
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/A.msi")"
check_rc 67
runs_are "vqdinst.exe /INSTALL: 13 (the action did not do what it was asked): the action fails" \
    "VqdInstallRollback: this installation counted nothing, nothing to give back"
touch "$STOP"
wait
count_is "4 01000000"
check_exists "$active"
product_gone "$A_NAME" "$A_CODE"
product_installed "$B_NAME" "$B_CODE"

# An action of the uninstall fails after "/REMOVE": the rollback counts the
# product again. (Wine's rollback of an uninstall drops the product's
# registration, which Windows restores: only the count and the driver are
# checked. It also stops at putting back files whose folder it removed, so
# the failing action comes before RemoveFiles.)
reset_system
cp "$E2E_SCRATCH/A.msi" "$E2E_SCRATCH/AF.msi"
msibuild "$E2E_SCRATCH/AF.msi" -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('Fail', 3073, 'VqdAction', 'VqdCheck')"
msibuild "$E2E_SCRATCH/AF.msi" -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('Fail', 'REMOVE=\"ALL\"', 3499)"
msiexec /i "$(vqd_winpath "$E2E_SCRATCH/AF.msi")"
check_rc 194
msiexec /x "$(vqd_winpath "$E2E_SCRATCH/AF.msi")"
check_rc 67
runs_are "vqdinst.exe /REMOVE: 6 (done, restart needed)" "vqdinst.exe /INSTALL /NOFLAG: 6 (done, restart needed)"
driver_enabled
count_is "4 01000000"

# ---- 9. the tables, read back
table() { msiinfo export "$E2E_SCRATCH/A.msi" "$1" | tr -d '\r' | grep -E "$2"; }
check_eq "launch conditions" "$(printf '%s\t%s\n' \
    'Installed OR (Version9X OR (VersionNT >= 400 AND VersionNT < 600 AND NOT VersionNT64))' \
    '[ProductName] needs Windows 95, 98, Me, NT 4.0, 2000, XP or Server 2003, 32-bit.' \
    Privileged '[ProductName] must be installed by an administrator.')" "$(table LaunchCondition '^(Inst.*9X|Priv)')"
for seq in InstallUISequence InstallExecuteSequence; do
    check_eq "$seq" "$(printf 'LaunchConditions\t\t100')" "$(table $seq ^LaunchConditions)"
done
check_eq "older versions removed" "$(printf '%s\t0.0.0\t1.0.0\t\t256\t\tVQDOLDERFOUND' "${A_UP[1]}")" "$(table Upgrade OLDER)"
check_eq "RemoveExistingProducts" "$(printf 'RemoveExistingProducts\t\t6601')" "$(table InstallExecuteSequence ^RemoveEx)"
file_row() { msiinfo export "$1" File | tr -d '\r' | awk -F '\t' '$1 == "VqdinstExe" { print $5, $6 }'; }
check_eq "vqdinst.exe's version and language" "$VQD_VERSION 1033" "$(file_row "$E2E_SCRATCH/A.msi")"
check_eq "the folder's short name" 1 "$(table Directory $'^INSTALLDIR\tProgramFilesFolder\t[A-Z0-9]{8}\\|VQD Example Burner$' | grep -c .)"
check_eq "ARPNOMODIFY" "$(printf 'ARPNOMODIFY\t1')" "$(table Property ^ARPNOMODIFY)"
check_eq "ARPINSTALLLOCATION" "$(printf 'SetArpInstallLocation\t51\tARPINSTALLLOCATION\t[INSTALLDIR]\t')" "$(table CustomAction ^SetArp)"
check_eq "Error table" "25000 25001" "$(table Error '^2500[01]' | cut -f1 | xargs)"
"$BUILD" --win32 "$VQD_WIN32_DIR" "$E2E_SCRATCH/nocodes.msi" 2>/dev/null
check_eq "build.sh without the vendor's codes" "2 no package" "$? $([ -f "$E2E_SCRATCH/nocodes.msi" ] || echo no package)"

# ---- 10. (winxp) signed as the README signs, with a throwaway CA's
# code-signing certificate and no timestamp: each file verifies, and fails
# after one byte changed; the signed program and package work as unsigned.
if [ "$os" = winxp ]; then
    reset_system
    S="$E2E_SCRATCH/signed"
    mkdir "$S" && (cd "$S" && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -subj /CN=CA &&
        openssl req -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -subj /CN=Quillfen -CA ca.pem -CAkey ca.key \
            -addext basicConstraints=CA:FALSE -addext extendedKeyUsage=codeSigning && echo pw >pass &&
        openssl pkcs12 -export -inkey key.pem -in cert.pem -out vendor.p12 -passout file:pass) >"$S.txt" 2>&1 || e2e_die "$(cat "$S.txt")"
    sign() { osslsigncode sign -pkcs12 "$S/vendor.p12" -readpass "$S/pass" -h sha256 -n "$A_NAME" -in "$1" -out "$2"; }
    { sign "$VQD_EXE" "$S/vqdinst.exe" && sign "$VQD_WIN32_DIR/vqdaction.dll" "$S/vqdaction.dll" &&
        build --product-code "$A_CODE" "${A_UP[@]}" --win32 "$S" "$S/packed.msi" && sign "$S/packed.msi" "$S/A.msi"
    } >>"$E2E_SCRATCH/build.txt" 2>&1 || e2e_die "signing failed: $(cat "$E2E_SCRATCH/build.txt")"
    verify() { osslsigncode verify -CAfile "$S/ca.pem" -in "$1" >"$S/v.txt" 2>&1; echo "$? $(grep -c MISMATCH "$S/v.txt")"; }
    for f in vqdinst.exe vqdaction.dll A.msi; do
        check_eq "$f: verified, no digest mismatch" "0 0" "$(verify "$S/$f")"
        cp "$S/$f" "$S/changed" && printf x | dd of="$S/changed" bs=1 seek=4096 conv=notrunc 2>/dev/null
        check_eq "$f with one byte changed" "1 1" "$(verify "$S/changed")"
    done
    check_eq "signed vqdinst.exe's version and language" "$VQD_VERSION 1033" "$(file_row "$S/A.msi")"
    VQD_EXE="$S/vqdinst.exe" e2e_run /MANIFEST
    check_rc 8
    check_eq "manifest of the signed vqdinst.exe" "File manifest for $(vqd_winpath "$S/vqdinst.exe"): $VQD_VERSION
$(cat "$VQD_WIN32_DIR/payload/payload-versions.txt")" "$(tr -d '\r' <VQDINST.MFT)"
    VQD_EXE="$S/vqdinst.exe" e2e_run /INSTALL
    check_rc 6
    driver_enabled
    msiexec /i "$(vqd_winpath "$S/A.msi")"
    check_rc 0
    runs_are "vqdinst.exe /INSTALL: 0 (done)" "vqdinst.exe /CHECK: 11 (the driver is correctly installed)"
    count_is "4 02000000"
    product_installed "$A_NAME" "$A_CODE" "$S/vqdinst.exe"
    msiexec /x "$(vqd_winpath "$S/A.msi")"
    check_rc 0
    runs_are "vqdinst.exe /REMOVE: 0 (done)"
    count_is "4 01000000"
    product_gone "$A_NAME" "$A_CODE"
fi

reset_system
e2e_finish
