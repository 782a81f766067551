#!/usr/bin/env bash
# Builds the libFuzzer targets (preset linux-fuzz) and runs each for the given number of seconds
# from its seed corpus in fuzz/corpus/<target>. Prints "fuzz ok <target> <executions>" or
# "fuzz FAILED <target>" per target; crashes land in build/linux-fuzz/artifacts/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset linux-fuzz >/dev/null && cmake --build --preset linux-fuzz -j 2 >/dev/null || {
  echo "fuzz FAILED build"; exit 1; }
status=0
for corpus in fuzz/corpus/*/; do
  target=$(basename "$corpus")
  binary=build/linux-fuzz/bin/$target
  [ -x "$binary" ] || { echo "fuzz FAILED $target (not built)"; status=1; continue; }
  work=build/linux-fuzz/corpus/$target
  artifacts=build/linux-fuzz/artifacts/$target
  mkdir -p "$work" "$artifacts"
  if "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$work" "$corpus" >"build/linux-fuzz/$target.log" 2>&1; then
    runs=$(grep -E "^stat::number_of_executed_units" "build/linux-fuzz/$target.log" | awk '{print $2}')
    echo "fuzz ok $target ${runs:-?} executions"
  else
    echo "fuzz FAILED $target"; tail -30 "build/linux-fuzz/$target.log"; status=1
  fi
done
exit $status
