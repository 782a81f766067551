# Sourced by the Wine scripts: one throwaway prefix per build folder, quiet, no installer prompts.
: "${WINEPREFIX:?WINEPREFIX must name the prefix inside the build folder}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# The i686 tests name the 32-bit loader (VANTOR_WINE_LOADER=/usr/lib/wine/wine, from wine32).
WINE_LOADER=${VANTOR_WINE_LOADER:-/usr/lib/wine/wine64}
WINE_SERVER=/usr/lib/wine/wineserver64
[ -x "$WINE_SERVER" ] || WINE_SERVER=/usr/lib/wine/wineserver
[ -x "$WINE_LOADER" ] || {
  echo "wine: no Wine loader at $WINE_LOADER (bash scripts/deps.sh installs wine64; the i686 tests" \
    "run in the 32-bit system: bash scripts/win32-env.sh run ctest --preset win32-wine)" >&2; exit 2; }
