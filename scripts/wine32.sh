# Sourced: how this machine runs 32-bit Windows programs; needs no prefix.
# wine32_how says it in a few words; the status is 0 when it runs them at
# all. The 32-bit loader must be installed, and the kernel must run 32-bit
# code itself or hand it to an emulator (scripts/install-deps.sh registers
# qemu-user where the kernel has no 32-bit support).
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
