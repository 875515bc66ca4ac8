#!/usr/bin/env bash
# The probe itself, on programs that come with Wine: the other tests rely on
# what it reports.
source "$(dirname "$0")/lib.sh"
e2e_begin probe win2k

# The full exit code, beyond the low byte a Linux parent sees.
e2e_probe -- cmd /c exit 300
check_nobox
check_eq "exit code" 300 "$E2E_RC"

# A program path with a blank in it needs quoting on the command line.
mkdir "with blank"
cp "$VQD_PROBE" "with blank/probe copy.exe"
e2e_probe -- "$(vqd_winpath "with blank/probe copy.exe")" --osversion
check_eq "OSVERSION line" 1 "$(printf '%s\n' "$E2E_OUT" | grep -cE '^OSVERSION 2 5 0 [0-9]+$')"
check_rc 0

# A box: its texts, escaped onto one line each, and the button clicked.
e2e_probe -- msiexec /h
check_eq "boxes shown" 1 "$(e2e_count CAPTION)"
check_report_line "BUTTON 1 OK"
check_report_line "CLICK 1"
body=$(e2e_unescape "$(e2e_fact TEXT)")
check_eq "body starts" "Windows Installer" "${body:0:17}"
check_eq "body has LF and tab" "yes" "$([[ $body == *$'\n\t'* ]] && echo yes)"
check_eq "report has no raw control characters" 0 "$(printf '%s' "$E2E_OUT" | tr -d '\n' | tr -cd '\000-\037' | wc -c)"

# Asked to click a button the box does not have: the probe gives up.
e2e_probe --click 6 -- msiexec /h
check_report_line "NOBUTTON 6"
check_eq "probe gives up without EXIT" "" "$E2E_RC"

# A program that never shows a box and never ends.
E2E_OUT=$(wine "$VQD_PROBE" --timeout 500 -- notepad </dev/null 2>/dev/null)
rc=$?
check_report_line "TIMEOUT"
check_eq "probe exit code after timeout" 255 "$rc"

e2e_finish
