#!/usr/bin/env bash
# Runs one Windows program under Wine (CMake's cross-compiling emulator for win64-wine).
# Wine's console ends lines with CR LF; strip the CR so ctest and logs read plain lines.
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARGUMENT]..." >&2; exit 2; }
. "$(dirname "$0")/wine-env.sh"
"$WINE_LOADER" "$@" 2>&1 | tr -d '\r'
exit "${PIPESTATUS[0]}"
