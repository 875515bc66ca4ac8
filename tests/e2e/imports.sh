#!/usr/bin/env bash
# The functions vqdinst.exe imports, per DLL, against the reviewed list
# (tests/win32/imports.txt). Windows 9x exports most wide-character and many
# newer functions only as stubs that fail, and Wine implements them all, so no
# run under Wine shows such an import: this list is where each one is checked.
#
#   imports.sh EXE LIST
set -u
exe=$1
list=$2
objdump=${VQD_OBJDUMP:-i686-w64-mingw32-objdump}

[ -f "$exe" ] || { echo "FAIL missing $exe (build the win32 build first)"; exit 1; }
[ -f "$list" ] || { echo "FAIL missing $list"; exit 1; }

# "DLL function" per imported name (DLL in upper case); an import by ordinal
# has no name and shows as "DLL #ordinal".
actual=$("$objdump" -p "$exe" | awk '
    /^The Import Tables/ { inside = 1; next }
    /^[A-Z]/ { inside = 0; next }
    !inside { next }
    /^[[:space:]]*DLL Name:/ { dll = toupper($3); next }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+  / { print dll, $3; next }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+$/ { print dll, "#" $2; next }
' | LC_ALL=C sort -u)
expected=$(grep -v '^[[:space:]]*\(#\|$\)' "$list" | awk '{ print toupper($1), $2 }' | LC_ALL=C sort -u)

if [ -z "$actual" ]; then
    echo "FAIL no imports read from $exe (objdump output not understood)"
    exit 1
fi

failed=0
while read -r entry; do
    [ -n "$entry" ] || continue
    echo "FAIL new import: $entry"
    echo "     Review it: does Windows 98 and NT 4.0 export AND implement it (not a stub"
    echo "     that fails)? If so, add \"$entry\" to $list with the reason; if not,"
    echo "     load it at run time or keep it out of the program."
    failed=1
done < <(LC_ALL=C comm -23 <(printf '%s\n' "$actual") <(printf '%s\n' "$expected"))
while read -r entry; do
    [ -n "$entry" ] || continue
    echo "FAIL no longer imported: $entry (remove it from $list)"
    failed=1
done < <(LC_ALL=C comm -13 <(printf '%s\n' "$actual") <(printf '%s\n' "$expected"))

count=$(printf '%s\n' "$actual" | wc -l)
if [ "$failed" = 0 ]; then
    echo "ok   $count imports, all on the reviewed list"
fi
exit "$failed"
