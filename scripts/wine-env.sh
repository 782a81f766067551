# Sourced by the Wine scripts: one throwaway prefix per build folder, quiet, no installer prompts.
: "${WINEPREFIX:?WINEPREFIX must name the prefix inside the build folder}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
WINE_LOADER=/usr/lib/wine/wine64
WINE_SERVER=/usr/lib/wine/wineserver64
[ -x "$WINE_SERVER" ] || WINE_SERVER=/usr/lib/wine/wineserver
[ -x "$WINE_LOADER" ] || {
  echo "wine: no Wine loader at $WINE_LOADER (bash scripts/deps.sh installs wine64)" >&2; exit 2; }
