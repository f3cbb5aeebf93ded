# Sourced: the environment every Wine run of this project uses.
# WINEPREFIX must be set by the caller (a throwaway prefix under the build folder).
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install dialogs, unless the caller's own WINEDLLOVERRIDES
# says otherwise; GEN_DLL_OVERRIDES, when set, adds a run's own overrides
# (Wine's form, "dll,dll=n;..."). The base is kept for a second sourcing.
export GEN_WINE_BASE_OVERRIDES="${GEN_WINE_BASE_OVERRIDES:-${WINEDLLOVERRIDES:-mscoree,mshtml=}}"
export WINEDLLOVERRIDES="$GEN_WINE_BASE_OVERRIDES${GEN_DLL_OVERRIDES:+;$GEN_DLL_OVERRIDES}"
export WINEARCH=win64
# The 64-bit loader by its path: Debian's `wine` prefers the 32-bit loader as
# soon as wine32 is installed, whether or not this kernel can run 32-bit code.
# In a 64-bit prefix it hands PE32 programs to the 32-bit loader (WoW64).
export WINELOADER=/usr/lib/wine/wine64
wine() { "$WINELOADER" "$@"; }
# wine32_how and wine32_available: whether and how 32-bit programs run.
. "$(dirname "${BASH_SOURCE[0]}")/wine32.sh"
