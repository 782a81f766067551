#!/usr/bin/env bash
# Boots the build folder's Wine prefix once, before the Windows tests run in parallel.
set -euo pipefail
[ $# -eq 0 ] || { echo "wine-boot: takes no arguments (WINEPREFIX names the prefix)" >&2; exit 2; }
. "$(dirname "$0")/wine-env.sh"
mkdir -p "$WINEPREFIX"
"$WINE_LOADER" wineboot --init >/dev/null 2>&1
"$WINE_SERVER" -w
echo "wine prefix ready: $WINEPREFIX"
