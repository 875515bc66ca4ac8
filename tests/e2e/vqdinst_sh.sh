#!/usr/bin/env bash
# ./vqdinst.sh as a new user first meets it: a prefix made by "--reset", then
# in each family "/INSTALL", "/CHECK", the prefix started afresh (wineserver
# -k: Wine's services.exe then starts every registered boot and system
# driver), "/UPGRADE /OVERWRITE" and "/FORCEREMOVE". Each step prints only
# the probe's report (no build output) and leaves what a user expects; no
# driver file is left at the end. The prefix is this test's own and is
# deleted again.
: "${VQD_E2E_PREFIX_SH:?run the tests through ctest}"
export WINEPREFIX=$VQD_E2E_PREFIX_SH
source "$(dirname "$0")/lib.sh"

root=$(cd "$E2E_LIB_DIR/../.." && pwd)
export VQDINST_PREFIX=$WINEPREFIX
unset DISPLAY
E2E_NAME=vqdinst_sh
E2E_OS=default
E2E_SCRATCH="$VQD_E2E_WORK/vqdinst_sh"
rm -rf "$E2E_SCRATCH"
mkdir -p "$E2E_SCRATCH" && cd "$E2E_SCRATCH" || e2e_die "cannot use $E2E_SCRATCH"
trap 'vqd_prefix_remove "$WINEPREFIX"' EXIT

# vqdinst ARGS...: ./vqdinst.sh ARGS; E2E_OUT gets all it printed.
vqdinst() {
    E2E_ARGS="./vqdinst.sh $*"
    "$root/vqdinst.sh" "$@" </dev/null >"$E2E_SCRATCH/out.txt" 2>&1
    E2E_RC=$?
    E2E_OUT=$(tr -d '\r' <"$E2E_SCRATCH/out.txt")
}

# check_step CODE MEANING: the exit code, and as the only output the
# program's result line ("vqdinst.exe SWITCHES: CODE (MEANING)") and the
# probe's report.
check_step() {
    check_rc "$1"
    check_eq "output" "vqdinst.exe ${E2E_ARGS#./vqdinst.sh --os $os }: $1 ($2)
NOBOX
EXIT $1" "$E2E_OUT"
}

# driver_files: the family's driver under its active and disabled names.
driver_files() {
    find "$SYS32" -maxdepth 2 \( -iname "$drv" -o -iname "${drv%.*}.DIS" \) | sed "s|^$SYS32/||"
}

vqdinst --reset
check_rc 0
check_exists "$SYS32/iosubsys"
check_eq "CD-ROM class" "CDROM" "$(wine reg query "HKLM\\$CLASS" /v Class </dev/null 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *Class *REG_SZ *//p')"

for os in win2k nt40 win98; do
    E2E_OS=$os
    case $os in
        win2k) drv=VQD2K.SYS; svc=VQD2K; where=drivers ;;
        nt40) drv=VQD.SYS; svc=VQD; where=drivers ;;
        win98) drv=MERIDAX.VXD; svc=; where=iosubsys ;;
    esac

    vqdinst --os "$os" /INSTALL
    check_step 6 "done, restart needed"
    check_exists reboot.txt
    check_eq "driver files" "$where/$drv" "$(driver_files)"

    vqdinst --os "$os" /CHECK
    check_step 11 "the driver is correctly installed"
    check_absent badinst.txt

    vqd_server_stop

    vqdinst --os "$os" /UPGRADE /OVERWRITE
    check_step 6 "done, restart needed"
    check_eq "driver files" "$where/$drv" "$(driver_files)"

    vqdinst --os "$os" /FORCEREMOVE
    check_step 6 "done, restart needed"
    check_eq "driver files" "" "$(driver_files)"
    if [ -n "$svc" ]; then
        wine reg query "HKLM\\$SERVICES\\$svc" </dev/null >/dev/null 2>&1
        check_eq "service key $svc" 1 "$?"
    fi
done

vqd_server_stop
e2e_finish
