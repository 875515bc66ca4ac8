#!/usr/bin/env bash
# Arguments the program does not know, in one Windows version ($1).
source "$(dirname "$0")/lib.sh"
e2e_begin "unknown-$1" "$1"

for args in "/FOO" "INSTALL"; do
    make_files reboot.txt badinst.txt keep.txt
    e2e_run "$args"
    check_rc 0
    check_nobox
    check_absent reboot.txt
    check_absent badinst.txt
    check_exists keep.txt
    check_absent "$E2E_LOG"
done

e2e_run_direct /FOO
check_rc 0
# With a standard output (a file, as a deployment tool passes one): the
# result line names no switch, and the meaning of 0.
timeout 60 wine "$VQD_EXE" /INSTAL </dev/null >stdout.txt 2>/dev/null
check_eq "result line" "vqdinst.exe: 0 (done)" "$(tr -d '\r' <stdout.txt)"

# "MAIN: 2 params" is written before /DEBUG has switched the log on, so it
# never reaches the file.
e2e_reset
e2e_run /DEBUG /FOO
check_rc 0
check_nobox
check_exists "$E2E_LOG"
check_log_banner
check_log_lacks "MAIN: 2 params"
check_log_crlf

e2e_finish
