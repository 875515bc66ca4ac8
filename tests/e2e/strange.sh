#!/usr/bin/env bash
# Long and strange input on the real system, in Windows 2000 mode: a TEMP of
# 300 characters and one just past what a directory may be made in, a current
# directory nobody may write to, command lines of 40 switches and of 2,000
# characters, 8-bit bytes in arguments and in a CD-ROM filter entry.
source "$(dirname "$0")/lib.sh"
e2e_begin strange win2k
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"

DRIVER="$SYS32/drivers/VQD2K.SYS"
COUNTED='C:\windows\system32\DRIVERS\VQD2K.SYS'
TEMPS="$WINEPREFIX/drive_c/strangetemp"
RO="$E2E_SCRATCH/readonly"

cleanup() {
    [ -d "$RO" ] && chattr -i "$RO" 2>/dev/null
    wine reg delete 'HKCU\Environment' /v TEMP /f </dev/null >/dev/null 2>&1
    odd_service -
    rm -rf "$TEMPS"
}
trap cleanup EXIT

# odd_service "" | -: the service key "caf\xe9\x80\xffflt" made or deleted
# through a REGEDIT4 file, which the registry editor reads in the ANSI code
# page.
odd_service() {
    printf 'REGEDIT4\r\n\r\n[%sHKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\caf\xe9\x80\xffflt]\r\n' "$1" \
        >"$E2E_SCRATCH/odd.reg"
    wine regedit /s "$(vqd_winpath "$E2E_SCRATCH/odd.reg")" </dev/null >/dev/null 2>&1
}
fresh() { clear_vqd2k; }
set_temp() {
    wine reg add 'HKCU\Environment' /v TEMP /d "$1" /f </dev/null >/dev/null 2>&1
}
installed() {  # the driver copied, registered and counted once
    check_exists "$DRIVER"
    check_eq "install count" "4 01000000" "$(vqdcheck getvalue "$SHARED" "$COUNTED")"
    check_eq "VQD2K registered" "result=1" "$(vqdcheck installed)"
}
no_temp_left() {
    check_eq "temporary directories left" "" \
        "$(find "$WINEPREFIX/drive_c" -maxdepth 12 -iname '931fas~9*' 2>/dev/null)"
}
# a Windows path of N characters below C:\strangetemp, in folders of 40
long_path() {
    local p='C:\strangetemp'
    while [ ${#p} -lt "$1" ]; do
        local left=$(($1 - ${#p} - 1)) part=40
        [ $left -lt 40 ] && part=$left
        [ $left -gt 40 ] && [ $((left - 40)) -lt 2 ] && part=$((left - 2))
        p+="\\$(printf "%${part}s" '' | tr ' ' d)"
    done
    printf '%s' "$p"
}
unix_of() {  # C:\x\y -> the prefix's drive_c/x/y
    local rest=${1#C:\\}
    printf '%s/drive_c/%s' "$WINEPREFIX" "${rest//\\//}"
}

# --- TEMP: 300 characters do not fit the 261-byte buffer; 239 fit, but the
# directory's path (248) leaves no room for an 8.3 name. Either way the
# install goes through the Windows directory and leaves nothing behind.
for length in 300 239; do
    fresh
    e2e_reset
    temp=$(long_path $length)
    mkdir -p "$(unix_of "$temp")"
    set_temp "$temp"
    e2e_run /INSTALL /DEBUG
    check_rc 6
    check_nobox
    installed
    no_temp_left
    if [ $length = 300 ]; then
        # Not read at all: the Windows directory from the start.
        check_log_has 'MTD: Temp dir is: C:\windows\931fas~9'
        check_log_lacks 'MTD: Got TEMP'
    else
        # Known difference: Windows refuses a directory path of 248
        # characters and the program falls back to the Windows directory;
        # Wine checks no length and makes it under TEMP.
        check_log_has "MTD: Temp dir is: $temp\\931fas~9"
        check_log_has 'MTD: Created temp'
    fi
done
wine reg delete 'HKCU\Environment' /v TEMP /f </dev/null >/dev/null 2>&1

# --- A current directory nobody may write to (immutable: root too is
# refused): the exit codes stay, no flag and no file appears.
mkdir -p "$RO"
cd "$RO" || e2e_die "cannot enter $RO"
chattr +i "$RO" || e2e_die "chattr +i refused; cannot make a read-only directory"
fresh
for case in "/CHECK 10" "/UNPACK 7" "/MANIFEST 0" "/INSTALL 6" "/CHECK 11"; do
    read -r switch code <<<"$case"
    e2e_run "$switch"
    check_rc "$code"
    check_nobox
    check_eq "files in the read-only directory" "" "$(ls -A "$RO")"
    no_temp_left
done
chattr -i "$RO"
cd "$E2E_SCRATCH" || e2e_die "cannot return to $E2E_SCRATCH"

# --- 40 switches, repeated, unknown and empty among them: as each once.
fresh
args=()
cycle=(/upgrade /NOFLAG /Overwrite /bogus /UPGRADE "" /noflag x)
for i in $(seq 0 39); do args+=("${cycle[$((i % 8))]}"); done
make_files reboot.txt
e2e_run_direct "${args[@]}"
check_rc 6
check_absent reboot.txt
check_exists "$DRIVER"
check_eq "no count after an upgrade" missing "$(vqdcheck getvalue "$SHARED" "$COUNTED")"

# --- A command line of 2,000 characters: one argument of 1,977 with a blank
# inside, then the switches.
long="$(printf '%990s' '' | tr ' ' a) $(printf '%986s' '' | tr ' ' b)"
e2e_reset
e2e_run_direct "$long" /FORCEREMOVE /DEBUG
check_rc 6
check_absent "$DRIVER"
check_log_has "MAIN: Uninstall switch activated"

# --- 8-bit bytes in arguments match no switch.
fresh
e2e_run_direct $'/INSTALL\xe9' $'/\xc9NABLE' $'\xff\x80' $'/REMOV\xc9'
check_rc 0
check_absent "$DRIVER"

# --- A filter entry with bytes above 0x7F (ANSI code page), its service
# there: the install puts VQD2K in front and leaves the entry's bytes as they
# are (only a to z change case).
fresh
odd_service ""
vqdcheck setvalue "$CLASS" LowerFilters 7 "$(hex 'caf\xe9\x80\xffflt\0\0')" >/dev/null
e2e_run /INSTALL
check_rc 6
check_eq "LowerFilters" "7 $(hex 'VQD2K\0CAF\xe9\x80\xffFLT\0\0')" "$(vqdcheck getvalue "$CLASS" LowerFilters)"
fresh

e2e_finish
