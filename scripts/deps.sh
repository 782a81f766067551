#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian machine. Idempotent: quiet and does nothing
# when everything is present; retries a failed download. vantorflt.sys takes its ddk headers from
# mingw-w64-common and libntoskrnl.a from the two mingw-w64-*-dev packages.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  mingw-w64-common mingw-w64-i686-dev mingw-w64-x86-64-dev
  wine64
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
for attempt in 1 2 3 4; do
  if "${sudo_cmd[@]}" apt-get update -qq &&
     "${sudo_cmd[@]}" apt-get install -y -qq -o Acquire::Retries=3 "${missing[@]}" >/dev/null; then
    echo "deps: done"
    exit 0
  fi
  echo "deps: attempt $attempt failed; retrying" >&2
  sleep $((attempt * 5))
done
echo "deps: could not install ${missing[*]}" >&2
exit 1
