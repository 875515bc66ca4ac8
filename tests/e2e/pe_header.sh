#!/usr/bin/env bash
# The product's PE header: a 32-bit x86 Windows GUI program, stripped, with
# no link time stamp (so that the same tree always gives the same bytes), and
# no import of setupapi.dll, which older systems lack, or of version.dll,
# which Windows would look for beside the program first (both are loaded at
# run time from the system directory); and an application manifest that
# asks for administrator rights and adds nothing that changes the dialog.
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
check "no version import" "" "$(printf '%s\n' "$imports" | grep -x VERSION.DLL)"
# The manifest (RT_MANIFEST 1) as windres prints it back, parsed as XML:
# requireAdministrator without UI access, the five supported-OS entries
# (Vista to 10), no dependency (a common-controls one would change the
# dialog's look), and no element declaring a namespace twice (which crashes
# Windows XP SP2 and Server 2003 RTM).
manifest=$("${VQD_WINDRES:-i686-w64-mingw32-windres}" -i "$exe" -O rc 2>/dev/null | awk '
    /^1 24 / { inside = 1; next }
    inside && /^END/ { exit }
    inside && /^ *"/ { sub(/^ *"/, ""); sub(/"$/, ""); gsub(/""/, "\""); gsub(/\\n/, "\n"); printf "%s", $0 }')
check "manifest" "requireAdministrator false 5 0 0" "$(printf '%s' "$manifest" | python3 -c '
import re, sys
import xml.etree.ElementTree as ET
text = sys.stdin.read()
v3 = "{urn:schemas-microsoft-com:asm.v3}"
c = "{urn:schemas-microsoft-com:compatibility.v1}"
root = ET.fromstring(text.encode())
level = root.find(v3 + "trustInfo/" + v3 + "security/" + v3 + "requestedPrivileges/" + v3 + "requestedExecutionLevel")
level = (level.get("level"), level.get("uiAccess")) if level is not None else ("none", "none")
oses = len(root.findall(c + "compatibility/" + c + "application/" + c + "supportedOS"))
dependencies = len([e for e in root.iter() if e.tag.endswith("}dependency")])
doubled = len([t for t in re.findall(r"<[^!?/][^>]*>", text) if len(re.findall(r"xmlns(:\w+)?=", t)) > 1])
print(level[0], level[1], oses, dependencies, doubled)
' 2>&1)"
[ "$failed" = 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit "$failed"
