#!/usr/bin/env bash
# A 64-bit Windows: the 32-bit program in a 64-bit Wine prefix. A 32-bit
# driver cannot load there, so the program refuses it as an unsupported
# system, also with /LH, and says why in the log. The test makes its own
# prefix (about 15 s, 1.3 GB) and removes it when it ends.
export WINEPREFIX=${VQD_E2E_PREFIX64:?VQD_E2E_PREFIX64 is not set (run the tests through ctest)}
source "$(dirname "$0")/lib.sh"
export WINEARCH=win64

wow64_cleanup() {
    vqd_server_stop
    rm -rf "$WINEPREFIX"
}
trap wow64_cleanup EXIT
wow64_cleanup  # the remains of an interrupted run
vqd_prefix_create "$WINEPREFIX" || e2e_die "cannot make a 64-bit prefix at $WINEPREFIX"
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || e2e_die "$WINEPREFIX is not a 64-bit prefix"
vqd_server_start || e2e_die "cannot start a wineserver for $WINEPREFIX"
e2e_begin wow64 win7

check_wine_version 2 6 1

for args in "/INSTALL /LH" "/REMOVE" "/LH /FOO" "/MANIFEST /LH" "/LH /CHECK /NOTIFYFILE"; do
    # shellcheck disable=SC2086
    check_refused $args
done

e2e_reset
e2e_run /LH /DEBUG
check_rc 12
check_log_banner
check_log_line 2 "MAIN: Unsupported OS"
check_log_line 3 "MAIN: Platform WIN32_NT"
check_log_line 4 "MAIN: Version 6.1 build $build"
check_log_line 5 "MAIN: 64-bit Windows"
check_eq "log lines" 5 "$(e2e_log_lines | wc -l)"

# A version 5 system (Windows XP x64 in this mode) is refused all the same.
vqd_set_os winxp || e2e_die "cannot set Windows version winxp"
e2e_probe --osversion
read -r platform major minor build <<<"$(e2e_fact OSVERSION)"
check_eq "platform and major version (winxp)" "2 5" "$platform $major"
e2e_reset
e2e_run /INSTALL /DEBUG
check_rc 12
check_log_order "MAIN: Unsupported OS" "MAIN: Version $major.$minor build $build" "MAIN: 64-bit Windows"

# Help is still available.
e2e_run /HELP /LH
check_rc 6
check_eq "boxes shown" 1 "$(e2e_count CAPTION)"

e2e_finish
