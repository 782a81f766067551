#!/usr/bin/env bash
# Builds the kit's examples (share/vantor/examples) from an installed kit alone and runs their
# host under Wine with the real driver stand-in: Start, a launch allowed, a launch denied, Stop, and the log
# lines through the sink. Removes the "vantorflt" service afterwards.
#   run-proof.sh STEP KIT_PREFIX VANTORFLT_SYS WORK_DIR HOW WITH
# STEP: build, run (in the 32-bit system, which has Wine but no compilers) or both. HOW and WITH:
#   mingw TOOLCHAIN_FILE  MinGW g++ through CMake and find_package(vantor)
#   msvc x86|x64          clang-cl and lld-link in MSVC mode, linking lib/vantor.lib as a Visual
#                         C++ project does; no runtime library, MinGW's headers for the SDK's
set -uo pipefail
[ $# -eq 6 ] || {
  echo "usage: $0 build|run|both KIT_PREFIX VANTORFLT_SYS WORK_DIR mingw|msvc TOOLCHAIN|ARCH" >&2
  exit 2; }
step=$1 kit=$2 driver=$3 work=$4 how=$5 with=$6
here=$(cd "$(dirname "$0")" && pwd)
scripts=$here/../../scripts
fail() { echo "FAIL: $*"; exit 1; }

build_mingw() {
  cmake -S "$kit/share/vantor/examples" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$(realpath "$with")" -DCMAKE_PREFIX_PATH="$kit" &&
    cmake --build "$work"
}

build_msvc() {
  local llvm=/usr/lib/llvm-14/bin triple=x86_64-pc-windows-msvc machine=i386:x86-64
  local def=$work/kernel32.def cl_arch=(/D_AMD64_) dlltool_arch=()
  if [ "$with" = x86 ]; then
    triple=i686-pc-windows-msvc machine=i386 cl_arch=(/D_X86_) dlltool_arch=(-k)
    cp "$here/proof/kernel32.def" "$def"
  else
    sed -E 's/@[0-9]+$//' "$here/proof/kernel32.def" >"$def"  # x64 names carry no sizes
  fi
  mkdir -p "$work/bin"
  local source
  for source in "$kit"/share/vantor/examples/{Host,Scanner,Sink}.cpp \
    "$here/proof/NoRuntimeEntry.cpp"; do
    # _mingw.h erases __attribute__ for compilers that are not GCC: clang-cl passes for one.
    "$llvm/clang-cl" --target=$triple /nologo /c /std:c++20 /O2 /GS- /Zl /W4 /WX \
      /clang:-fgnuc-version=4.2.1 "${cl_arch[@]}" /I"$kit/include" \
      -imsvc /usr/share/mingw-w64/include /Fo"$work/$(basename "$source" .cpp).obj" -- "$source" ||
      return 1
  done
  "$llvm/llvm-dlltool" -m $machine "${dlltool_arch[@]}" -d "$def" -l "$work/kernel32.lib" &&
    "$llvm/lld-link" /nologo /dll /noentry /out:"$work/bin/Arbiter.dll" "$work/Scanner.obj" &&
    "$llvm/lld-link" /nologo /dll /noentry /def:"$kit/share/vantor/def/Basalt.def" \
      /out:"$work/bin/Basalt.dll" "$work/Sink.obj" "$work/kernel32.lib" &&
    "$llvm/lld-link" /nologo /subsystem:console /entry:ProofEntry /out:"$work/bin/proof-host.exe" \
      "$work/Host.obj" "$work/NoRuntimeEntry.obj" "$kit/lib/vantor.lib" "$work/kernel32.lib" &&
    cp "$kit/bin/vantor.dll" "$work/bin/"
}

if [ "$step" != run ]; then
  rm -rf "$work"
  mkdir -p "$work"
  "build_$how" >"$work.build.log" 2>&1 || { grep -E "error|undefined" "$work.build.log" | head -20
    fail "the proof does not build against $kit"; }
  cp "$driver" "$work/bin/" || fail "no driver at $driver"
fi
[ "$step" != build ] || exit 0

# One Wine session runs the host and then vantor-launch: Wine ends the driver's service once the
# last program of the prefix has ended, so the launch must come while the session lives. Stop
# left the service running, and with no host guarding the launch is let through.
cp "$kit/bin/vantor-launch.exe" "$work/bin/" || fail "no vantor-launch.exe in $kit"
printf '%s\r\n' '@proof-host.exe' '@echo host exit %errorlevel%' \
  '@vantor-launch.exe C:\tools\editor.exe' '@echo launch exit %errorlevel%' >"$work/bin/proof.cmd"
log=$work/host-output.txt
(cd "$work/bin" && "$scripts/wine-run.sh" cmd /c proof.cmd) >"$log"
cat "$log"
"$scripts/wine-run.sh" sc stop vantorflt >/dev/null
for _ in $(seq 50); do
  "$scripts/wine-run.sh" sc query vantorflt | grep -q STOPPED && break
  sleep 0.1
done
"$scripts/wine-run.sh" sc delete vantorflt >/dev/null

grep -qx "host exit 0" "$log" || fail "proof-host failed (exit code 1: Start, 2: a launch or Stop)"
# Each line as the sink wrote it: time, level, message, one LF, and no zero byte.
for line in $'1: VtClient\t Initialized, shared buffer ptr: ' $'1: VtClient\t Started.' \
  $'1: VtClient\t Stopped.'; do
  grep -qaE "^\[[0-2][0-9]:[0-5][0-9]\] ${line//./\\.}" "$log" || fail "no log line '$line'"
done
tr -d '\0' <"$log" | cmp -s - "$log" || fail "the sink wrote a zero byte"
grep -qx "launch exit 1" "$log" &&
  grep -qxE '\\Device\\[^\]+\\tools\\editor\.exe: let through' "$log" ||
  fail "vantor-launch after Stop: wanted 'let through' and exit code 1"
echo "proof ok: $how $(basename "$with")"
