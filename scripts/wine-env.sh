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
# How this machine runs 32-bit Windows programs, in a few words; the status
# is 0 when it runs them at all. The 32-bit loader must be installed, and the
# kernel must run 32-bit code itself or hand it to an emulator
# (scripts/install-deps.sh registers qemu-user where the kernel has no 32-bit
# support).
wine32_how() {
  if [ ! -x /usr/lib/wine/wine ]; then
    echo "not installed (wine32:i386)"; return 1
  fi
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "installed, but this kernel runs no 32-bit code and no emulator is registered"; return 1
  fi
  if grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then
    echo "through qemu-user emulation (this kernel runs no 32-bit code itself)"
  else
    echo "natively"
  fi
}
wine32_available() { wine32_how >/dev/null; }
