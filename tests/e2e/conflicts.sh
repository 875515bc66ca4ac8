#!/usr/bin/env bash
# Switches that cannot go together, in one Windows version ($1).
source "$(dirname "$0")/lib.sh"
e2e_begin "conflicts-$1" "$1"

for case in "4 /INSTALL /REMOVE" "4 /REMOVE /INSTALL" "4 /ENABLE /DISABLE" "9 /REMOVE /CHECK"; do
    read -r want args <<<"$case"
    # shellcheck disable=SC2086
    e2e_run $args
    check_rc "$want"
    check_nobox
    # No /DEBUG, no log.
    check_absent "$E2E_LOG"
done

# The code as a Linux caller (vqdinst.sh) sees it.
e2e_run_direct /INSTALL /REMOVE
check_rc 4

e2e_reset
e2e_run /DEBUG /INSTALL /REMOVE
check_rc 4
check_nobox
check_exists "$E2E_LOG"
check_log_banner
check_log_line 2 "MAIN: Install and Remove - can't do"
check_log_crlf

e2e_finish
