#!/usr/bin/env bash
# Windows versions the program refuses to work on (Windows 7 here), and the
# /LH switch that lifts the refusal.
source "$(dirname "$0")/lib.sh"
e2e_begin unsupported-os win7

# What Wine reports in this mode; the log quotes it.
check_wine_version 2 6 1

for args in "/INSTALL" "/REMOVE" "/CHECK" "/FOO" "/INSTALL /REMOVE"; do
    # shellcheck disable=SC2086
    check_refused $args
done

e2e_run_direct /INSTALL
check_rc 12

e2e_reset
e2e_run /DEBUG
check_rc 12
check_log_banner
check_log_order "MAIN: Unsupported OS" "MAIN: Platform WIN32_NT" "MAIN: Version 6.1 build $build"
check_log_lacks "MAIN: 64-bit Windows"  # a 32-bit prefix

# Help is still available.
e2e_run /HELP
check_rc 6
check_eq "boxes shown" 1 "$(e2e_count CAPTION)"
check_eq "caption" "VQDINST $VQD_VERSION" "$(e2e_unescape "$(e2e_fact CAPTION)")"

e2e_reset
e2e_run /LH
check_rc 0
check_nobox

e2e_run /LH /DEBUG
check_rc 0
check_log_banner
check_log_lacks "MAIN: Unsupported OS"

e2e_finish
