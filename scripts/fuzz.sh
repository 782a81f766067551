#!/usr/bin/env bash
# Builds the libFuzzer targets (preset linux-fuzz) and runs each for the given number of seconds
# from its seed corpus in fuzz/corpus/<target>, two at a time (one per core). Prints
# "fuzz ok <target> <executions> executions" or "fuzz FAILED <target>" per target; a crashing
# input lands in build/linux-fuzz/artifacts/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset linux-fuzz >/dev/null && cmake --build --preset linux-fuzz -j 2 >/dev/null || {
  echo "fuzz FAILED build"; exit 1; }

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
