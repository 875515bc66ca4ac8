#!/usr/bin/env bash
# The help box: every way of asking for it, in one Windows version ($1).
source "$(dirname "$0")/lib.sh"
e2e_begin "help-$1" "$1"

first_text=""
for args in "/HELP" "/H" "/?" "/help" "/HELP /INSTALL /REMOVE"; do
    # Stale result files from an earlier run go at start, other files stay.
    make_files reboot.txt badinst.txt keep.txt
    # shellcheck disable=SC2086  # the arguments are meant to split
    e2e_run $args

    check_rc 6
    check_eq "boxes shown" 1 "$(e2e_count CAPTION)"
    check_eq "caption" "VQDINST $VQD_VERSION" "$(e2e_unescape "$(e2e_fact CAPTION)")"

    text=$(e2e_fact TEXT)
    lines=$(e2e_box_lines)
    check_eq "body line count" 21 "$(printf '%s\n' "$lines" | wc -l)"
    check_eq "first body line" "Command line parameters:" "$(printf '%s\n' "$lines" | head -n 1)"
    check_eq "last body line" "  /HELP /H or /? - Display command line options" "$(printf '%s\n' "$lines" | tail -n 1)"
    # Lines are separated by a single CR: no LF anywhere, no empty line.
    check_eq "LF in body" 0 "$(e2e_unescape "$text" | tr -cd '\n' | wc -c)"
    check_eq "empty body lines" 0 "$(printf '%s\n' "$lines" | grep -c '^$')"
    if [ -z "$first_text" ]; then
        first_text=$text
    else
        check_eq "body same as for /HELP" "$first_text" "$text"
    fi

    check_eq "buttons" 1 "$(e2e_count BUTTON)"
    check_report_line "BUTTON 1 OK"
    check_report_line "MARKER 1"

    check_absent reboot.txt
    check_absent badinst.txt
    check_exists keep.txt
    rm -f keep.txt
done

# Where nobody sees a window (a deployment tool's window station), nothing
# waits for a person: no dialog (1, as Close), no help box, no reboot
# question (as after No). invisible.exe kills a run that waits (255).
if [ "$1" = win2k ]; then
    [ -f "${VQD_INVISIBLE:-}" ] || e2e_die "missing invisible.exe (VQD_INVISIBLE=${VQD_INVISIBLE:-})"
    # invisible [/DESKTOP] SWITCHES: /DESKTOP runs on a desktop of its own
    # in the visible station, which is not the input desktop.
    invisible() {
        local mode=()
        if [ "${1:-}" = /DESKTOP ]; then mode=(/DESKTOP); shift; fi
        E2E_ARGS="invisible ${mode[*]} vqdinst $*"
        E2E_OUT=""
        wine "$VQD_INVISIBLE" "${mode[@]}" "\"$(vqd_winpath "$VQD_EXE")\" $*" </dev/null >/dev/null 2>"$E2E_SCRATCH/invisible.txt"
        E2E_RC=$?
    }
    invisible
    check_rc 1
    invisible /HELP /DEBUG
    check_rc 6
    check_log_has "HELP: Window station not visible - no help box"
    invisible /INSTALL /ASKREBOOT /DEBUG
    check_rc 6
    check_log_has "ORP: Window station not visible - reboot not asked"
    check_exists "$SYS32/drivers/VQD2K.SYS"
    e2e_run_direct /FORCEREMOVE
    check_rc 6
    check_absent "$SYS32/drivers/VQD2K.SYS"
    remove_stored_infs
    # The same on a desktop nobody sees inside the visible station.
    rm -f "$E2E_LOG"
    invisible /DESKTOP /HELP /DEBUG
    check_rc 6
    check_log_has "HELP: Window station not visible - no help box"
    invisible /DESKTOP /INSTALL /ASKREBOOT /DEBUG
    check_rc 6
    check_log_has "ORP: Window station not visible - reboot not asked"
    e2e_run_direct /FORCEREMOVE
    check_rc 6
    remove_stored_infs
fi

e2e_finish
