#!/usr/bin/env bash
# Runs a Windows program under Wine and checks its exit code and that its output matches.
#   expect.sh EXIT_CODE ERE PROGRAM [ARGUMENT]...
set -uo pipefail
want=$1 pattern=$2
shift 2
output=$("$(dirname "$0")/../../scripts/wine-run.sh" "$@")
status=$?
printf '%s\n' "$output"
[ "$status" -eq "$want" ] || { echo "FAIL: exit code $status, wanted $want"; exit 1; }
grep -qE -- "$pattern" <<<"$output" || { echo "FAIL: no line matches: $pattern"; exit 1; }
