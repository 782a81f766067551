#!/usr/bin/env bash
# Installs what a job needs on Debian or Ubuntu, with apt (as root, or through sudo). Says what it
# installs; does nothing when everything is present.
#   scripts/deps.sh [demo|wine-demo|all|win32-vm]
#     demo       the demo's build: cmake ninja-build g++ libbenchmark-dev
#     wine-demo  the demo under Wine (demo.sh --wine): cmake, ninja-build, MinGW-w64 x86_64 (the
#                posix compiler, binutils, headers with the ddk, libraries with libntoskrnl.a),
#                googletest (the win64-wine preset's configure reads its sources), wine64, and
#                clang-cl, lld-link and llvm-dlltool (its partners built the Visual C++ way)
#     all   everything scripts/test.sh runs (default): adds clang and its runtime, clang-format,
#           GoogleTest, MinGW-w64 (i686 and x86_64; vantorflt.sys takes its ddk headers from
#           mingw-w64-common and libntoskrnl.a from the mingw-w64-*-dev packages), Wine,
#           mmdebstrap, which builds the 32-bit test system (scripts/win32-env.sh), and clang-cl,
#           lld-link and llvm-dlltool for the partners built the Visual C++ way and the kit's
#           vantor.lib
#     win32-vm   QEMU, cpio, kmod and e2fsprogs, without recommends: the 32-bit test system on a
#                kernel that cannot run 32-bit code (scripts/win32-env.sh installs them there itself)
set -uo pipefail

demo=(cmake ninja-build g++ libbenchmark-dev)
wine_demo=(cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-common
  mingw-w64-x86-64-dev googletest wine64 clang-tools-14 lld-14 llvm-14)
all=("${demo[@]}" clang libclang-rt-14-dev clang-format libgtest-dev libgmock-dev googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  mingw-w64-common mingw-w64-i686-dev mingw-w64-x86-64-dev wine64 mmdebstrap clang-tools-14 lld-14
  llvm-14)
win32_vm=(qemu-system-x86 cpio kmod e2fsprogs)
apt_options=()

case "${1:-all}" in
  demo) packages=("${demo[@]}"); job="the demo" ;;
  wine-demo) packages=("${wine_demo[@]}"); job="the demo under Wine" ;;
  all) packages=("${all[@]}"); job="the builds and tests" ;;
  win32-vm) packages=("${win32_vm[@]}"); job="the 32-bit test system under QEMU"
    apt_options=(--no-install-recommends) ;;
  *) echo "deps: unknown set '$1' (use demo, wine-demo, all or win32-vm)" >&2; exit 2 ;;
esac
[ $# -le 1 ] || { echo "deps: takes one set name, demo, wine-demo, all or win32-vm" >&2; exit 2; }

if ! command -v dpkg-query >/dev/null; then
  echo "deps: cannot check packages: no dpkg-query, so this is not Debian or Ubuntu." >&2
  echo "deps: $job needs: ${packages[*]} (install their equivalents by hand)" >&2
  exit 1
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: $job needs ${missing[*]}; installing with apt"
if ! command -v apt-get >/dev/null; then
  echo "deps: cannot install: no apt-get on this system; install by hand: ${missing[*]}" >&2
  exit 1
fi
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "deps: cannot install: not root and no sudo; as root run: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
for attempt in 1 2; do
  if "${sudo_cmd[@]}" apt-get update -qq &&
     "${sudo_cmd[@]}" apt-get install -y -qq -o Acquire::Retries=3 "${apt_options[@]}" "${missing[@]}" >/dev/null; then
    echo "deps: installed ${missing[*]}"
    exit 0
  fi
  [ "$attempt" -eq 1 ] && { echo "deps: apt failed (see above); trying once more in 5 s" >&2; sleep 5; }
done
echo "deps: could not install ${missing[*]} (apt's messages are above)" >&2
exit 1
