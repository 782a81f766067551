#!/usr/bin/env bash
# The demo: builds the module and the demo host when needed (preset linux-release, binaries in
# build/linux-release/bin) and runs the host from the caller's directory, so relative --policy
# and --launches paths mean what they say. Arguments go to the host; --help lists them (without
# a build when the host is already there). Exits with the host's code (see README).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
host="$root/build/linux-release/bin/vantor-host"

for arg in "$@"; do
  case "$arg" in --help | -h) [ -x "$host" ] && exec "$host" --help ;; esac
done

bash "$root/scripts/deps.sh" demo || { echo "demo: cannot build without those packages" >&2; exit 1; }
mkdir -p "$root/build"
log="$root/build/demo-build.log"
[ -x "$host" ] || echo "demo: building the module and the host (the first build takes one to three minutes on 2 cores)"
if ! (cd "$root" && cmake --preset linux-release &&
      cmake --build --preset linux-release -j 2 --target vantor vantor-host) >"$log" 2>&1; then
  grep -E -A4 "error:|CMake Error|FAILED:" "$log" | head -60 >&2
  echo "demo: the build failed; its whole output is in $log" >&2
  exit 1
fi
exec "$host" "$@"
