#!/usr/bin/env bash
# Builds the libFuzzer targets (preset linux-fuzz) and runs each for the given number of seconds
# from its seed corpus in fuzz/corpus/<target>, two at a time (one per core). Prints
# "fuzz ok <target> <executions> executions" or "fuzz FAILED <target>" per target; a crashing
# input lands in build/linux-fuzz/artifacts/<target>/.
#   scripts/fuzz.sh [SECONDS]     SECONDS: a whole number from 1 to 31536000, a year (default 60)
set -uo pipefail
cd "$(dirname "$0")/.."
[ $# -le 1 ] || { echo "usage: $0 [SECONDS]   (default 60)" >&2; exit 2; }
seconds=${1:-60}
# At most nine digits before any arithmetic: a longer number would wrap around in the shell.
[[ "$seconds" =~ ^0*[0-9]{1,9}$ ]] && [ "$((10#$seconds))" -gt 0 ] &&
  [ "$((10#$seconds))" -le 31536000 ] || {
  echo "fuzz: '$seconds' is not a number of seconds from 1 to 31536000 (usage: $0 [SECONDS])" >&2
  exit 2; }
seconds=$((10#$seconds))
for tool in cmake clang++; do
  command -v "$tool" >/dev/null || {
    echo "fuzz: $tool is not installed (bash scripts/deps.sh installs it)" >&2; exit 2; }
done
mkdir -p build
if ! { cmake --preset linux-fuzz && cmake --build --preset linux-fuzz -j 2; } >build/fuzz-build.log 2>&1
then
  grep -E -A4 "error:|CMake Error|FAILED:" build/fuzz-build.log | head -40
  echo "fuzz FAILED build (whole output: build/fuzz-build.log)"; exit 1
fi

run_one() {
  local target=$1 corpus=fuzz/corpus/$1
  local binary=build/linux-fuzz/bin/$target log=build/linux-fuzz/$target.log
  local work=build/linux-fuzz/corpus/$target artifacts=build/linux-fuzz/artifacts/$target
  [ -x "$binary" ] || { echo "fuzz FAILED $target (not built)"; return 1; }
  mkdir -p "$work" "$artifacts"
  if "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$work" "$corpus" >"$log" 2>&1; then
    echo "fuzz ok $target $(awk '/^stat::number_of_executed_units/ {print $2}' "$log") executions"
  else
    echo "fuzz FAILED $target"; tail -30 "$log"; return 1
  fi
}

mapfile -t targets < <(ls fuzz/corpus)
status=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  for t in "${targets[@]:i:2}"; do run_one "$t" & pids+=($!); done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
done
exit $status
