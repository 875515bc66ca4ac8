#!/usr/bin/env bash
# Fixture cleanup: no wineserver outlives the test run.
source "$(dirname "$0")/../../tools/wine-env.sh"
: "${WINEPREFIX:?}"
vqd_server_stop
echo "wineserver stopped: $WINEPREFIX"
