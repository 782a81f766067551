#!/usr/bin/env bash
# The demo: builds the module and the demo host when needed (preset linux-release, binaries in
# build/linux-release/bin) and runs the host from the caller's directory, so relative --policy
# and --launches paths mean what they say. Arguments go to the host; --help lists them (without
# a build when the host is already there). Exits with the host's code (see README).
#
# With --wine: the Windows build instead (preset win64-wine: vantor-host.exe, vantor.dll,
# Arbiter.dll, Basalt.dll and vantorflt.sys in build/win64-wine/bin), run under Wine in a prefix
# of its own (build/demo-wineprefix, booted on first use), against the real driver, which the
# module installs as the service "vantorflt". A service left by an earlier run is removed first,
# and the service is stopped and deleted after the run.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

wine=0
args=()
for arg in "$@"; do
  if [ "$arg" = --wine ]; then wine=1; else args+=("$arg"); fi
done
help=0
for arg in "${args[@]}"; do
  case "$arg" in --help | -h) help=1 ;; esac
done

# Builds the preset's targets, showing the compiler's errors if that fails.
build() {
  local preset=$1 log=$2
  shift 2
  mkdir -p "$root/build"
  if ! (cd "$root" && cmake --preset "$preset" && cmake --build --preset "$preset" -j 2 --target "$@") \
      >"$log" 2>&1; then
    grep -E -A4 "error:|CMake Error|FAILED:" "$log" | head -60 >&2
    echo "demo: the build failed; its whole output is in $log" >&2
    exit 1
  fi
}

if [ "$wine" -eq 0 ]; then
  host="$root/build/linux-release/bin/vantor-host"
  [ "$help" -eq 1 ] && [ -x "$host" ] && exec "$host" --help
  bash "$root/scripts/deps.sh" demo || { echo "demo: cannot build without those packages" >&2; exit 1; }
  [ -x "$host" ] || echo "demo: building the module and the host (the first build takes one to three minutes on 2 cores)"
  build linux-release "$root/build/demo-build.log" vantor vantor-host
  exec "$host" "${args[@]}"
fi

bin="$root/build/win64-wine/bin"
host="$bin/vantor-host.exe"
export WINEPREFIX="$root/build/demo-wineprefix"
built() {
  local file
  for file in vantor-host.exe vantor.dll Arbiter.dll Basalt.dll vantorflt.sys; do
    [ -f "$bin/$file" ] || return 1
  done
}

if [ "$help" -eq 0 ] || ! built || ! command -v wine64 >/dev/null; then
  bash "$root/scripts/deps.sh" wine-demo ||
    { echo "demo: cannot build or run under Wine without those packages" >&2; exit 1; }
fi
. "$root/scripts/wine-env.sh"
if [ "$help" -eq 0 ] || ! built; then
  built || echo "demo: building the Windows host, the module, the stand-ins and vantorflt.sys (preset win64-wine; the first build takes two to four minutes on 2 cores)"
  build win64-wine "$root/build/demo-wine-build.log" vantor-host vantor arbiter basalt vantorflt
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "demo: booting a Wine prefix of its own in build/demo-wineprefix (once; about half a minute)"
  bash "$root/scripts/wine-boot.sh" >/dev/null || { echo "demo: Wine did not boot the prefix" >&2; exit 1; }
fi
[ "$help" -eq 1 ] && exec "$WINE_LOADER" "$host" --help

# Stops the "vantorflt" service, waits until its driver has unloaded, and deletes it. Quiet when
# there is none.
remove_service() {
  "$WINE_LOADER" sc query vantorflt >/dev/null 2>&1 || return 0
  if ! "$WINE_LOADER" sc stop vantorflt 2>/dev/null | grep -q STOPPED; then
    for _ in $(seq 50); do
      "$WINE_LOADER" sc query vantorflt 2>/dev/null | grep -q STOPPED && break
      sleep 0.2
    done
  fi
  "$WINE_LOADER" sc delete vantorflt >/dev/null 2>&1 ||
    echo "demo: could not delete the \"vantorflt\" service in $WINEPREFIX" >&2
}

# A file name for the host: relative ones stay as they are (Wine gives the host the caller's
# directory as its own), absolute ones become the Windows path Wine reaches them by.
windows_path() {
  case "$1" in
    /*) "$WINE_LOADER" winepath -w "$1" 2>/dev/null | tr -d '\r' ;;
    *) printf '%s\n' "$1" ;;
  esac
}
host_args=()
for ((i = 0; i < ${#args[@]}; i++)); do
  arg=${args[i]}
  case "$arg" in
    --policy | --launches)
      host_args+=("$arg")
      if ((i + 1 < ${#args[@]})); then i=$((i + 1)); host_args+=("$(windows_path "${args[i]}")"); fi ;;
    --policy=* | --launches=*) host_args+=("${arg%%=*}=$(windows_path "${arg#*=}")") ;;
    *) host_args+=("$arg") ;;
  esac
done
for variable in ARBITER_POLICY_FILE BASALT_LOG_FILE; do
  [ -n "${!variable:-}" ] && export "$variable=$(windows_path "${!variable}")"
done

if "$WINE_LOADER" sc query vantorflt >/dev/null 2>&1; then
  echo "demo: removing the \"vantorflt\" service an earlier run left behind"
  remove_service
fi
# Ctrl-C reaches the host (its console handler stops the run and prints the summary); this script
# waits for it and still removes the service.
trap : INT
"$WINE_LOADER" "$host" "${host_args[@]}"
status=$?
remove_service
exit "$status"
