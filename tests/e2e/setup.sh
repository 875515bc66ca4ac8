#!/usr/bin/env bash
# Fixture: a fresh prefix for this test run, with a persistent wineserver.
source "$(dirname "$0")/../../tools/wine-env.sh"
: "${WINEPREFIX:?}"

# Start from nothing so no run sees what an earlier one left.
if [ -e "$WINEPREFIX" ]; then
    vqd_server_stop
    # A file system an interrupted test left mounted in the prefix (life.sh
    # mounts one over system32\drivers).
    awk -v p="$WINEPREFIX/" 'index($2, p) == 1 { print $2 }' /proc/mounts | while read -r m; do umount -l "$m"; done
    rm -rf "$WINEPREFIX"
fi
vqd_prefix_create "$WINEPREFIX" || exit 1
vqd_server_start || exit 1
echo "prefix ready: $WINEPREFIX"
