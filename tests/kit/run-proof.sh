#!/usr/bin/env bash
# Builds the kit's proof (tests/kit/proof) against an installed kit alone and runs its host under
# Wine with the real driver stand-in: Start, a launch allowed, a launch denied, Stop, and the log
# lines through the sink. Removes the "vantorflt" service afterwards.
#   run-proof.sh KIT_PREFIX VANTORFLT_SYS WORK_DIR TOOLCHAIN_FILE
set -uo pipefail
[ $# -eq 4 ] || { echo "usage: $0 KIT_PREFIX VANTORFLT_SYS WORK_DIR TOOLCHAIN_FILE" >&2; exit 2; }
kit=$1 driver=$2 work=$3 toolchain=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
scripts=$here/../../scripts
fail() { echo "FAIL: $*"; exit 1; }

rm -rf "$work"
cmake -S "$here/proof" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$kit" >"$work.configure.log" 2>&1 ||
  { cat "$work.configure.log"; fail "the proof does not configure against $kit"; }
cmake --build "$work" >"$work.build.log" 2>&1 ||
  { grep -E "error|undefined" "$work.build.log" | head -20; fail "the proof does not build against $kit"; }
cp "$driver" "$work/bin/" || fail "no driver at $driver"

log=$work/host-output.txt
(cd "$work/bin" && "$scripts/wine-run.sh" ./proof-host.exe) >"$log"
status=$?
cat "$log"
"$scripts/wine-run.sh" sc stop vantorflt >/dev/null
for _ in $(seq 50); do
  "$scripts/wine-run.sh" sc query vantorflt | grep -q STOPPED && break
  sleep 0.1
done
"$scripts/wine-run.sh" sc delete vantorflt >/dev/null

[ "$status" -eq 0 ] || fail "proof-host exited with $status (1: Start failed, 2: a launch or Stop)"
# Each line as the sink wrote it: time, level, message, one LF, and no zero byte.
for line in $'1: VtClient\t Initialized, shared buffer ptr: ' $'1: VtClient\t Started.' \
  $'1: VtClient\t Stopped.'; do
  grep -qaE "^\[[0-2][0-9]:[0-5][0-9]\] ${line//./\\.}" "$log" || fail "no log line '$line'"
done
tr -d '\0' <"$log" | cmp -s - "$log" || fail "the sink wrote a zero byte"
echo "proof ok: $(basename "$toolchain")"
