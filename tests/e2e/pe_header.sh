#!/usr/bin/env bash
# The product's PE header: a 32-bit x86 Windows GUI program, stripped, with
# no link time stamp (so that the same tree always gives the same bytes), and
# no import of setupapi.dll, which older systems lack (it is loaded at run
# time from the system directory).
set -u
exe=$1
failed=0
u16() { od -An -tu2 -j "$1" -N 2 "$exe" | tr -d ' '; }
u32() { od -An -tu4 -j "$1" -N 4 "$exe" | tr -d ' '; }
check() {
    if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected $2, got $3"; failed=1; fi
}
pe=$(u32 60)
check "PE signature" "PE" "$(dd if="$exe" bs=1 skip="$pe" count=2 2>/dev/null)"
check "machine i386" 332 "$(u16 $((pe + 4)))"
check "time stamp" 0 "$(u32 $((pe + 8)))"
check "symbol table" 0 "$(u32 $((pe + 12)))"
check "optional header PE32" 267 "$(u16 $((pe + 24)))"
check "GUI subsystem" 2 "$(u16 $((pe + 24 + 68)))"
imports=$("${VQD_OBJDUMP:-i686-w64-mingw32-objdump}" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z')
check "imports kernel32" KERNEL32.DLL "$(printf '%s\n' "$imports" | grep -x KERNEL32.DLL)"
check "no setupapi import" "" "$(printf '%s\n' "$imports" | grep -x SETUPAPI.DLL)"
[ "$failed" = 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit "$failed"
