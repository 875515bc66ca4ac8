#!/usr/bin/env bash
# "/MANIFEST" and "/UNPACK" in one Windows version ($1): the versions of the
# carried files, the files themselves with their recorded times, and no
# temporary directory left behind.
source "$(dirname "$0")/lib.sh"
e2e_begin "manifest-$1" "$1"

payload="$VQD_WIN32_DIR/payload"
[ -f "$payload/payload-versions.txt" ] || e2e_die "missing $payload/payload-versions.txt"
temp="$WINEPREFIX/drive_c/vqdtemp"
rm -rf "$temp" && mkdir -p "$temp"
wine reg add 'HKCU\Environment' /v TEMP /d 'C:\vqdtemp' /f </dev/null >/dev/null 2>&1

expected_manifest() {
    printf 'File manifest for %s: %s\n' "$(vqd_winpath "$VQD_EXE")" "$VQD_VERSION"
    cat "$payload/payload-versions.txt"
}

for run in 1 2; do
    e2e_run /MANIFEST /DEBUG
    check_rc 8
    check_nobox
    check_exists VQDINST.MFT
    check_eq "manifest (run $run)" "$(expected_manifest)" "$(tr -d '\r' <VQDINST.MFT)"
    check_eq "CR LF lines" 7 "$(grep -c $'\r$' VQDINST.MFT)"
    check_absent "$temp/931fas~9"
    check_log_has "MAIN: Manifest requested"
    check_log_has "DTD: Removed temp dir"
done

# The manifest wins over unpacking, and an install is not even started.
rm -f VQDINST.MFT
e2e_run /UNPACK /INSTALL /MANIFEST
check_rc 8
check_exists VQDINST.MFT
check_absent VQD.SYS

# Unpacking replaces what is there; the files get the recorded times.
rm -f VQDINST.MFT
echo "stale" >VQD2K.INF
e2e_reset
e2e_run /UNPACK
check_rc 7
check_nobox
check_absent VQDINST.MFT
while read -r file _ _ created_d created_t _ accessed_d accessed_t _ written_d written_t; do
    case "$file" in ''|'#'*) continue ;; esac
    [ -n "$written_t" ] || continue
    # Times first: reading a file may move its access time.
    check_eq "$file last write" "$(date -u -d "$written_d $written_t" +%s)" "$(stat -c %Y "$file" 2>/dev/null)"
    check_eq "$file last access" "$(date -u -d "$accessed_d $accessed_t" +%s)" "$(stat -c %X "$file" 2>/dev/null)"
    if cmp -s "$file" "$payload/$file"; then e2e_pass; else e2e_fail "$file differs from the payload"; fi
done <"$VQD_PAYLOAD_TIMES"
check_eq "files unpacked" 6 "$(ls | grep -vc -e '^stderr.txt$')"
check_absent "$temp/931fas~9"

wine reg delete 'HKCU\Environment' /v TEMP /f </dev/null >/dev/null 2>&1
e2e_finish
