#!/usr/bin/env bash
# Soak: runs the launch storm (tests/stress) for a given time and prints what it served, the
# verdict mismatches, the faults it injected and the launch latency.
#   scripts/soak.sh DURATION      DURATION in seconds, or with a suffix: 90, 60s, 10m, 1h; at
#                                 most a year (31536000 s)
# Builds the linux preset's stress program first if needed (build/linux; VANTOR_SOAK_BUILD_DIR
# names another build folder). Start/Stop cycles default to 20 a second (VANTOR_STORM_CYCLES
# overrides). Exits non-zero on any verdict mismatch or failed check.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  [ -n "${1:-}" ] && echo "soak: $1" >&2
  echo "usage: $0 DURATION   (seconds, or a number with s, m or h: 60s, 10m)" >&2
  exit 2
}
[ $# -eq 1 ] || usage "takes exactly one DURATION"
# At most nine digits before any arithmetic: a longer number would wrap around in the shell.
[[ "$1" =~ ^0*([0-9]{1,9})([smh]?)$ ]] || usage "'$1' is not a duration of at most a year"
command -v cmake >/dev/null || { echo "soak: cmake is not installed (bash scripts/deps.sh)" >&2; exit 2; }
count=$((10#${BASH_REMATCH[1]}))
case "${BASH_REMATCH[2]}" in
  m) seconds=$((count * 60)) ;;
  h) seconds=$((count * 3600)) ;;
  *) seconds=$count ;;
esac
[ "$seconds" -gt 0 ] || usage "the duration must be above 0"
[ "$seconds" -le 31536000 ] || usage "'$1' is more than a year (31536000 s)"

build=${VANTOR_SOAK_BUILD_DIR:-build/linux}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset linux -B "$build" >/dev/null
fi
if ! buildlog=$(cmake --build "$build" --target stress_test -j 2 2>&1); then
  echo "$buildlog" | grep -E "error|FAILED" | head -30 >&2
  echo "soak: build failed" >&2
  exit 1
fi
program="$build/bin/stress_test"
[ -x "$program" ] || { echo "soak: no stress program at $program" >&2; exit 1; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "soak: storm for $seconds s ($program)"
status=0
VANTOR_STORM_SECONDS=$seconds VANTOR_STORM_CYCLES=${VANTOR_STORM_CYCLES:-$((seconds * 20))} \
  "$program" --gtest_filter='StormTest.EveryLaunch*' >"$log" 2>&1 || status=$?

summary=$(grep '^storm: ' "$log" | tail -1 || true)
if [ -z "$summary" ]; then
  tail -40 "$log" >&2
  echo "soak: the storm ended without its summary (exit $status)" >&2
  exit 1
fi
field() { sed -nE "s/.* $1=([^ ]+).*/\1/p" <<<" $summary"; }

echo "launches served:    $(field served) (let through while not guarding: $(field let_through), timed out: $(field timed_out), all launches: $(field launches))"
echo "verdict mismatches: $(field mismatches) (scanner asked other than once: $(field ask_errors))"
echo "faults injected:    scanner throws $(field scanner_throws), start code failures $(field start_failures), stop code failures $(field stop_failures)"
echo "Start/Stop cycles:  $(field cycles) (and $(field restarts) Starts while a pump was held); drive map rebuilds: $(field rebuilds); X: toggles: $(field drive_toggles)"
echo "latency:            median $(field latency_median_us) us, 99th percentile $(field latency_p99_us) us"
echo "wall time:          $(field wall_s) s"

if [ "$(field mismatches)" != "0" ] || [ "$status" -ne 0 ]; then
  grep -E "Failure|Expected|Which is|actual|FAILED" "$log" | head -40 >&2 || true
  echo "soak: FAILED" >&2
  exit 1
fi
echo "soak: passed"
