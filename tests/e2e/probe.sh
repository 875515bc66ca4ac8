#!/usr/bin/env bash
# The probe itself, on programs that come with Wine and on dlgtest.exe (a
# dialog of our own): the other tests rely on what it reports.
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

# --- steps for windows of the program's own, on dlgtest.exe ---------------
DLGTEST=$(vqd_winpath "$VQD_WIN32_DIR/dlgtest.exe")
[ -f "$VQD_WIN32_DIR/dlgtest.exe" ] || e2e_die "missing $VQD_WIN32_DIR/dlgtest.exe"

# block N: the Nth window block (WINDOW ... END) of the report.
block() {
    printf '%s\n' "$E2E_OUT" | awk -v n="$1" '/^WINDOW /{i++} i==n{print} i==n&&/^END$/{exit}'
}
# check_block N LINE...: block N has each of these lines.
check_block() {
    local n=$1 line
    shift
    for line in "$@"; do
        if block "$n" | grep -qxF -- "$line"; then
            e2e_pass
        else
            e2e_fail "block $n has no line '$line'"
        fi
    done
}
MSSS='-11 400 MS\x20Sans\x20Serif'

# The dialog as made, the please-wait window hidden and then as shown, the
# clicks with and without Shift+Ctrl+Alt, and the box at the end.
e2e_probe --step dump:DlgTestMain --step state:DlgTestWait --step click:DlgTestMain:1 \
    --step shown:DlgTestWait --step state:DlgTestMain --step click:DlgTestMain:3:shiftctrlalt \
    --step state:DlgTestMain --step click:DlgTestMain:3 --step state:DlgTestMain \
    --step click:DlgTestMain:2 --step box:1 -- "$DLGTEST"
check_eq "window blocks" 6 "$(e2e_count WINDOW)"
check_block 1 "WINDOW DlgTestMain 1 Probe test dialog" "SIZE 246 125 240 100" "FOCUS 2" \
    "CONTROL 100 Static 1 1 10 10 120 13 $MSSS Plain & simple" \
    "CONTROL 101 Static 1 1 10 30 60 13 -11 700 MS\\x20Sans\\x20Serif Bold red" \
    "CONTROL 103 Static 0 1 10 80 60 13 $MSSS Hidden" \
    "CONTROL 4 Button 0 1 70 68 75 25 $MSSS Secret"
check_eq "controls in the order made" "100 101 102 103 1 2 3 4" \
    "$(block 1 | sed -n 's/^CONTROL \([0-9]*\) .*/\1/p' | tr '\n' ' ' | sed 's/ $//')"
check_block 2 "WINDOW DlgTestWait 0 Please wait" "SIZE 206 62 200 40" \
    "CONTROL 200 Static 1 1 0 12 200 21 -13 400 MS\\x20Sans\\x20Serif "
# Shown for 200 ms and hidden long before the probe reads the report: the
# block still has the text it was shown with.
check_block 3 "WINDOW DlgTestWait 1 Please wait" \
    "CONTROL 200 Static 1 1 0 12 200 21 -13 400 MS\\x20Sans\\x20Serif Working on One 1"
check_block 4 "FOCUS 1" "CONTROL 100 Static 1 1 10 10 120 13 $MSSS One pressed 1"
check_report_line "PRESS DlgTestMain 3 shiftctrlalt"
check_block 5 "FOCUS 3" "CONTROL 100 Static 1 1 10 10 120 13 $MSSS keys: shift ctrl alt" \
    "CONTROL 4 Button 1 1 70 68 75 25 $MSSS Secret"
check_block 6 "CONTROL 100 Static 1 1 10 10 120 13 $MSSS keys: none"
check_report_line "PRESS DlgTestMain 2"
check_report_line "CAPTION Probe test"
check_report_line "TEXT Two was pressed."
check_report_line "CLICK 1"
check_rc 7

# Every show is kept in order; the close box ends the dialog with 2.
e2e_probe --step click:DlgTestMain:1 --step click:DlgTestMain:1 --step shown:DlgTestWait \
    --step shown:DlgTestWait --step close:DlgTestMain -- "$DLGTEST"
check_eq "shows in order" "Working on One 1|Working on One 2" \
    "$(printf '%s\n' "$E2E_OUT" | sed -n 's/^CONTROL 200 .*Serif //p' | paste -sd '|')"
check_report_line "CLOSE DlgTestMain"
check_nobox
check_rc 2

# A step whose window never comes: NOWINDOW once the program has ended, or
# TIMEOUT with the windows that are visible.
e2e_probe --step close:DlgTestMain --step dump:NoSuchClass -- "$DLGTEST"
check_report_line "NOWINDOW dump:NoSuchClass"
check_rc 2
E2E_OUT=$(wine "$VQD_PROBE" --timeout 800 --step dump:NoSuchClass -- "$DLGTEST" </dev/null 2>/dev/null)
rc=$?
check_report_line "TIMEOUT dump:NoSuchClass"
check_report_line "VISIBLE DlgTestMain Probe test dialog"
check_eq "probe exit code after a step's timeout" 255 "$rc"
e2e_probe --step click:DlgTestMain:99 -- "$DLGTEST"
check_report_line "NOBUTTON DlgTestMain 99"
check_eq "probe gives up without EXIT" "" "$E2E_RC"
wine "$VQD_PROBE" --step click:DlgTestMain -- "$DLGTEST" </dev/null >/dev/null 2>&1
check_eq "a step without its button id is refused" 2 "$?"

# await:FILE holds the steps until the file exists (a script takes its
# screenshot meanwhile); it counts against the probe's time limit like any
# other step.
wine "$VQD_PROBE" --timeout 30000 --step dump:DlgTestMain --step await:gate \
    --step click:DlgTestMain:2 --step box:1 -- "$DLGTEST" </dev/null >await.txt 2>/dev/null &
probe=$!
for _ in $(seq 300); do
    grep -qx 'AWAIT gate' await.txt && break
    sleep 0.05
done
sleep 0.5
E2E_OUT=$(cat await.txt)
check_report_line "AWAIT gate"
check_eq "presses before the file exists" 0 "$(e2e_count PRESS)"
touch gate
wait "$probe"
E2E_OUT=$(cat await.txt)
E2E_RC=$(e2e_fact EXIT)
check_eq "steps after the file came" "AWAIT gate|PRESS DlgTestMain 2|CAPTION Probe test" \
    "$(grep -E '^(AWAIT|PRESS|CAPTION) ' await.txt | paste -sd '|')"
check_rc 7
E2E_OUT=$(wine "$VQD_PROBE" --timeout 800 --step await:never -- "$DLGTEST" </dev/null 2>/dev/null)
rc=$?
check_report_line "TIMEOUT await:never"
check_report_line "VISIBLE DlgTestMain Probe test dialog"
check_eq "probe exit code after an await's timeout" 255 "$rc"
wine "$VQD_PROBE" --step await:C:\\gate -- "$DLGTEST" </dev/null >/dev/null 2>&1
check_eq "an await path with a colon is refused" 2 "$?"

# The dialog calls checked from inside the program (fonts, colours, styles,
# the modal loop's keys and ends).
wine "$VQD_WIN32_DIR/dlgtest.exe" --selfcheck </dev/null >selfcheck.txt 2>&1
rc=$?
selfcheck=$(tr -d '\r' <selfcheck.txt)
E2E_OUT=$selfcheck
check_eq "dlgtest --selfcheck failures" "" "$(printf '%s\n' "$selfcheck" | grep '^FAIL')"
check_eq "dlgtest --selfcheck exit code" 0 "$rc"
check_eq "dlgtest --selfcheck ran its checks" 1 "$(printf '%s\n' "$selfcheck" | grep -c '^0 failed$')"

e2e_finish
