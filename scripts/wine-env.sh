# Sourced: the environment every Wine run of this project uses.
# WINEPREFIX must be set by the caller (a throwaway prefix under the build folder).
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install dialogs.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
# The 64-bit loader by its path: Debian's `wine` prefers the 32-bit loader as
# soon as wine32 is installed, whether or not this kernel can run 32-bit code.
# In a 64-bit prefix it hands PE32 programs to the 32-bit loader (WoW64).
export WINELOADER=/usr/lib/wine/wine64
wine() { "$WINELOADER" "$@"; }
# Whether this machine runs 32-bit Windows programs: the 32-bit loader must be
# installed and the kernel must run 32-bit code.
wine32_available() { [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; }
