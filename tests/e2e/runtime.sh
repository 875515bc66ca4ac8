#!/usr/bin/env bash
# The slimmer runtime pieces (platform/win32/runtime.cpp) under Wine, through
# runtimecheck.exe (tests/win32/runtimecheck.cpp), linked as vqdinst.exe is:
# the limits of strings and containers still raise a std::exception, an
# allocation failure std::bad_alloc, and an uncaught exception is reported
# on standard error before the process aborts.
set -u
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_begin runtime win2k
exe="$VQD_WIN32_DIR/runtimecheck.exe"
[ -f "$exe" ] || e2e_die "missing $exe (build the win32 build first)"

wine "$exe" </dev/null >"$E2E_SCRATCH/checks.txt" 2>"$E2E_SCRATCH/stderr.txt"
rc=$?
out=$(tr -d '\r' <"$E2E_SCRATCH/checks.txt")
check_eq "runtimecheck exit code" 0 "$rc"
check_eq "runtimecheck failures" "" "$(printf '%s\n' "$out" | grep '^FAIL')"
check_eq "runtimecheck checks" 10 "$(printf '%s\n' "$out" | grep -c '^ok')"

wine "$exe" terminate </dev/null >/dev/null 2>"$E2E_SCRATCH/terminate.txt"
rc=$?
# msvcrt's abort() ends the process with exit code 3.
check_eq "uncaught exception: exit code" 3 "$rc"
report=$(tr -d '\r' <"$E2E_SCRATCH/terminate.txt")
check_eq "uncaught exception: the type (mangled)" \
    "terminate called after throwing an instance of '14InstallerError'" \
    "$(printf '%s\n' "$report" | grep '^terminate called')"
check_eq "uncaught exception: its text" "  what():  cannot write C:\\X.TXT" \
    "$(printf '%s\n' "$report" | grep 'what()')"
e2e_finish
