#!/usr/bin/env bash
# Every test: installs what is missing, checks formatting, then configures, builds and tests each
# preset (Wine included), and runs each fuzzer briefly. Prints one closing line
# "N passed, M failed" summed over everything, and exits non-zero if anything failed.
#   FUZZ_SECONDS (default 30): time per fuzz target; 0 skips fuzzing.
set -uo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 0 ] || { echo "test: takes no arguments (FUZZ_SECONDS sets the fuzzing time)" >&2; exit 2; }
[[ "${FUZZ_SECONDS:-30}" =~ ^[0-9]+$ ]] || {
  echo "test: FUZZ_SECONDS='$FUZZ_SECONDS' is not a whole number of seconds" >&2; exit 2; }

passed=0
failed=0
note() { printf '\n=== %s\n' "$*"; }
pass() { passed=$((passed + ${1:-1})); }
fail() { failed=$((failed + ${1:-1})); echo "FAILED: $2"; }

note "dependencies"
if ! bash scripts/deps.sh all; then
  echo "0 passed, 1 failed"
  exit 1
fi

# The i686 tests run in a 32-bit system of their own: in a chroot where this kernel runs 32-bit
# code, else booted under QEMU's emulation. The probe is a static i386 program of four
# instructions that exits with 0.
runs_i386() {
  local dir rc
  dir=$(mktemp -d)
  printf '.globl _start\n_start: movl $1, %%eax\nxorl %%ebx, %%ebx\nint $0x80\n' |
    as --32 -o "$dir/probe.o" - && ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" && "$dir/probe"
  rc=$?
  rm -rf "$dir"
  return $rc
}
if runs_i386 2>/dev/null; then win32_vm=chroot; else win32_vm=qemu; fi
# The system is built or checked meanwhile: mostly downloads and unpacking, which the Linux builds
# barely notice. Its log: build/win32-env.log.
mkdir -p build
VANTOR_WIN32_VM=$win32_vm bash scripts/win32-env.sh build >build/win32-env.log 2>&1 &
win32_env=$!

note "format"
if bash scripts/check-format.sh; then pass; else fail 1 "format check"; fi

# win32-wine last: it runs the win32 preset's vantor.dll and the win64-wine preset's vantorflt.sys,
# inside the 32-bit system.
for preset in linux linux-asan linux-tsan win32 win64-wine win32-wine; do
  note "preset $preset"
  log="build/$preset.ctest.log"
  mkdir -p build
  runner=()
  options=()
  if [ "$preset" = win32-wine ]; then
    if ! wait "$win32_env"; then
      tail -20 build/win32-env.log; fail 1 "the 32-bit test system (build/win32-env.log)"; continue
    fi
    echo "the 32-bit system runs here as: $win32_vm"
    runner=(env VANTOR_WIN32_VM="$win32_vm" bash scripts/win32-env.sh run)
    # Booted under QEMU's emulation, Wine runs several times slower.
    options=(-DVANTOR_WINE_TIMEOUT_SCALE=$([ "$win32_vm" = qemu ] && echo 5 || echo 1))
  fi
  if ! cmake --preset "$preset" "${options[@]}" >"build/$preset.configure.log" 2>&1; then
    tail -30 "build/$preset.configure.log"; fail 1 "configure $preset"; continue
  fi
  if ! cmake --build --preset "$preset" -j 2 >"build/$preset.build.log" 2>&1; then
    grep -E "error|FAILED" "build/$preset.build.log" | head -30; fail 1 "build $preset"; continue
  fi
  "${runner[@]}" ctest --preset "$preset" 2>&1 | tee "$log" | grep -E "tests passed|Failed|\*\*\*|Timeout|Not Run" || true
  summary=$(grep -E "[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+" "$log" | tail -1)
  if [ -z "$summary" ]; then fail 1 "ctest $preset produced no summary"; continue; fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  bad=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  pass $((total - bad))
  [ "$bad" -eq 0 ] || fail "$bad" "ctest $preset"
done

fuzz_seconds=$((10#${FUZZ_SECONDS:-30}))
if [ "$fuzz_seconds" -gt 0 ]; then
  note "fuzzing, ${fuzz_seconds}s per target"
  if bash scripts/fuzz.sh "$fuzz_seconds" >build/fuzz.log 2>&1; then
    n=$(grep -c "^fuzz ok" build/fuzz.log); pass "$n"; grep "^fuzz" build/fuzz.log
  else
    grep "^fuzz" build/fuzz.log; tail -40 build/fuzz.log
    n=$(grep -c "^fuzz FAILED" build/fuzz.log); fail $((n > 0 ? n : 1)) "fuzzing"
    pass "$(grep -c "^fuzz ok" build/fuzz.log)"
  fi
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
