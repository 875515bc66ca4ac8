#!/usr/bin/env bash
# Disabling and enabling the installed driver against Wine's real files and
# registry, through vqdcheck.exe, in one Windows version ($1): the file moves
# to and from its ".DIS" name over a stale one, keeping its last-access and
# last-write times (Wine stores no creation time), the registration goes and
# comes back, the install count stays; and the shutdown privilege is enabled
# through the platform calls of the reboot (which itself never runs here).
source "$(dirname "$0")/lib.sh"
os=$1
e2e_begin "enable-$os" "$os"
[ -f "$VQD_CHECK" ] || e2e_die "missing $VQD_CHECK"

SERVICES='SYSTEM\CurrentControlSet\Services'
CLASS='SYSTEM\CurrentControlSet\Control\Class\{4D36E965-E325-11CE-BFC1-08002BE10318}'
SHARED='SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs'
SYS32="$WINEPREFIX/drive_c/windows/system32"

case "$os" in
    win98) dir=iosubsys; name=MERIDAX; ext=VXD; service=""; reboot=1 ;;
    nt40) dir=drivers; name=VQD; ext=SYS; service=VQD; reboot=1 ;;
    *) dir=drivers; name=VQD2K; ext=SYS; service=VQD2K; reboot=0 ;;  # no CD-ROM devices: restarted
esac
active="$SYS32/$dir/$name.$ext"
disabled="$SYS32/$dir/$name.DIS"

vqdcheck() {
    wine "$VQD_CHECK" "$@" </dev/null 2>/dev/null | tr -d '\r'
}
hklm_delete() {
    wine reg delete "HKLM\\$1" /f </dev/null >/dev/null 2>&1 || true
}
# times FILE: last access and last write in seconds, and the size. Reading
# the content would move the access time, so that is read only at the end.
times() {
    stat -c '%X %Y %s' "$1" 2>/dev/null || echo missing
}
registered() {
    local key=missing filter=missing
    [ -n "$service" ] && key=$(vqdcheck getvalue "$SERVICES\\$service" Type)
    [ "$name" = VQD2K ] && filter=$(vqdcheck getvalue "$CLASS" LowerFilters)
    echo "service=$key filter=$filter"
}

hklm_delete "$SERVICES\\VQD"
hklm_delete "$SERVICES\\VQD2K"
wine reg delete "HKLM\\$CLASS" /v LowerFilters /f </dev/null >/dev/null 2>&1 || true
hklm_delete "$SHARED"
rm -f "$SYS32"/drivers/VQD*.{SYS,DIS} "$SYS32"/iosubsys/MERIDAX.{VXD,DIS}
mkdir -p "$SYS32/$dir"
# The CD-ROM device class, as every Windows 2000 has it.
vqdcheck setvalue "$CLASS" Class 1 "$(printf 'CDROM\0' | od -An -tx1 | tr -d ' \n')" >/dev/null

# ---- an installed, enabled driver and a stale disabled file beside it
printf 'driver image' >"$active"
touch -a -d '2021-03-04 05:06:07' "$active"
touch -m -d '2020-01-02 03:04:05' "$active"
printf 'stale' >"$disabled"
seeded=$(times "$active")
if [ -n "$service" ]; then
    vqdcheck service "$(echo "$service" | tr 'A-Z' 'a-z')" create >/dev/null
fi
[ "$name" = VQD2K ] && vqdcheck addfilter VQD2K >/dev/null
vqdcheck getcount >/dev/null
vqdcheck setcount 2 >/dev/null
check_eq "installed before" "result=1" "$(vqdcheck installed)"
enabled_registration=$(registered)

# ---- disable
check_eq "disable" "result=$reboot" "$(vqdcheck disable)"
check_absent "$active"
check_eq "disabled file times" "$seeded" "$(times "$disabled")"
check_eq "registration after disable" "service=missing filter=missing" "$(registered)"
check_eq "installed after disable" "result=0" "$(vqdcheck installed)"
check_eq "count after disable" "count=2" "$(vqdcheck getcount)"

# ---- enable, with the device restart on Windows 2000
check_eq "enable" "result=$reboot" "$(vqdcheck enable restart)"
check_absent "$disabled"
check_eq "active file times" "$seeded" "$(times "$active")"
check_eq "registration after enable" "$enabled_registration" "$(registered)"
check_eq "installed after enable" "result=1" "$(vqdcheck installed)"
check_eq "count after enable" "count=2" "$(vqdcheck getcount)"

# ---- enabling again finds nothing to move
check_eq "enable again" "result=$reboot" "$(vqdcheck enable)"
check_eq "active file content" "driver image" "$(cat "$active")"
check_absent "$disabled"

# ---- the shutdown privilege (Wine grants it in every mode, 9x included)
check_eq "shutdown privilege" "open=1 lookup=1 luid=19 adjust=1 error=0" "$(vqdcheck privilege)"

rm -f "$active" "$disabled"
hklm_delete "$SERVICES\\VQD"
hklm_delete "$SERVICES\\VQD2K"
wine reg delete "HKLM\\$CLASS" /v LowerFilters /f </dev/null >/dev/null 2>&1 || true
e2e_finish
