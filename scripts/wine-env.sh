# Sourced: the environment every Wine run of this project uses.
# WINEPREFIX must be set by the caller (a throwaway prefix under the build folder).
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install dialogs.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
