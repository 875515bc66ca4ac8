#!/usr/bin/env bash
# SetupCopyOEMInfA of the program's platform layer against Wine's real
# SetupAPI, through vqdcheck.exe, in one Windows version ($1): the carried
# INF lands in the system's INF folder (found by content: Windows calls it
# oemN.inf, Wine keeps its name) with a .pnf, its catalog goes with it, the
# source INF is deleted and the catalog beside it stays; and the refusals
# keep their error numbers.
source "$(dirname "$0")/lib.sh"
os=$1
e2e_begin "infstore-$os" "$os"
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"

payload="$VQD_WIN32_DIR/payload"
INFDIR="$WINEPREFIX/drive_c/windows/inf"
CATDIR="$WINEPREFIX/drive_c/windows/system32/catroot"

vqdcheck() {
    E2E_ARGS="vqdcheck $*"
    wine "$VQD_CHECK" "$@" </dev/null 2>/dev/null | tr -d '\r'
}
# files_holding DIR FILE: the files under DIR with the contents of FILE.
files_holding() {
    local f
    find "$1" -type f 2>/dev/null | while read -r f; do
        cmp -s "$f" "$2" && printf '%s\n' "$f"
    done
}
# Removes whatever an earlier run stored, so that every run starts clean.
forget_stored() {
    local f
    for f in $(files_holding "$INFDIR" "$payload/VQD2K.INF"); do
        rm -f "$f" "${f%.*}.pnf" "${f%.*}.PNF"
    done
    for f in $(files_holding "$CATDIR" "$payload/VQD2K.CAT"); do rm -f "$f"; done
}
forget_stored

# ---- the carried INF and catalog
mkdir -p pkg
cp "$payload/VQD2K.INF" "$payload/VQD2K.CAT" pkg/
check_eq "copy of the carried INF" "result=1" "$(vqdcheck oeminf "$(vqd_winpath pkg/VQD2K.INF)")"
stored=$(files_holding "$INFDIR" "$payload/VQD2K.INF")
check_eq "INFs in the store with the carried text" 1 "$(printf '%s' "$stored" | grep -c .)"
if [ -n "$stored" ]; then
    check_eq "stored as .inf" inf "$(printf '%s' "${stored##*.}" | tr 'A-Z' 'a-z')"
    pnf=$(ls "${stored%.*}".[pP][nN][fF] 2>/dev/null)
    check_eq "precompiled .pnf beside it" 1 "$(printf '%s' "$pnf" | grep -c .)"
fi
check_eq "catalogs in the catalog root with the carried content" 1 \
    "$(files_holding "$CATDIR" "$payload/VQD2K.CAT" | grep -c .)"
check_absent pkg/VQD2K.INF
check_exists pkg/VQD2K.CAT

# A second copy of the same text does not add another.
cp "$payload/VQD2K.INF" pkg/
check_eq "second copy" "result=1" "$(vqdcheck oeminf "$(vqd_winpath pkg/VQD2K.INF)")"
check_eq "still one INF with the carried text" 1 "$(files_holding "$INFDIR" "$payload/VQD2K.INF" | grep -c .)"
# Without SP_COPY_DELETESOURCE the source stays.
cp "$payload/VQD2K.INF" pkg/
check_eq "copy keeping the source" "result=1" "$(vqdcheck oeminf "$(vqd_winpath pkg/VQD2K.INF)" 0)"
check_exists pkg/VQD2K.INF
forget_stored

# ---- refusals: nothing stored, the source kept
refused() {  # WHAT EXPECTED-ERROR INF-TEXT [catalog]
    rm -rf bad && mkdir bad
    printf "$3" >bad/VQD2K.INF
    [ "${4:-}" = catalog ] && cp "$payload/VQD2K.CAT" bad/
    local before after
    before=$(find "$INFDIR" -type f | wc -l)
    check_eq "$1" "result=0 error=$2" "$(vqdcheck oeminf "$(vqd_winpath bad/VQD2K.INF)")"
    after=$(find "$INFDIR" -type f | wc -l)
    check_eq "$1: nothing stored" "$before" "$after"
    check_exists bad/VQD2K.INF
}
refused "empty INF" 1006 ''
refused "no signature" 3758096640 '[Version]\r\nClass=CDROM\r\n' catalog
refused "catalog missing" 2 '[Version]\r\nSignature="$Windows NT$"\r\nCatalogFile=VQD2K.CAT\r\n'
check_eq "no such INF" "result=0 error=2" "$(vqdcheck oeminf "$(vqd_winpath pkg/NONE.INF)")"
check_eq "no such folder" "result=0 error=3" "$(vqdcheck oeminf 'C:\none\VQD2K.INF')"
rm -rf bad pkg

e2e_finish
