#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build and test tools is
# missing, then 32-bit Wine (wine32:i386) for running the shipped PE32
# programs. Where the kernel runs no 32-bit code itself, i386 programs are
# handed to qemu-user's emulator (registered with binfmt_misc, as root).
# 32-bit Wine is optional: when it cannot be had, this says why and the
# tests skip their 32-bit runs.
set -euo pipefail
packages=(cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev zlib1g-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xauth xdotool imagemagick
          git osslsigncode openssl)
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
. "$(dirname "$0")/wine32.sh"

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
updated=""
apt_install() {  # apt_install PACKAGE...: those of them that are missing
  local missing=() p
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "installing: ${missing[*]}"
  [ -n "$updated" ] || { $sudo apt-get update && updated=yes; }
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

apt_install "${packages[@]}"

# 32-bit Wine and, for kernels without 32-bit support, the emulator.
wine32() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386 && updated=""
  fi
  apt_install wine32:i386 || return 1
  wine32_available && return 0
  apt_install qemu-user-static || return 1
  local binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
  if [ ! -e "$binfmt/qemu-i386" ]; then
    # i386 ELF programs; F: the emulator is opened now, so it serves every
    # process whatever its root.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $sudo tee "$binfmt/register" >/dev/null || return 1
  fi
  wine32_available
}
if ! wine32; then
  echo "install-deps: 32-bit Wine is not usable here; the tests will skip their 32-bit runs" >&2
fi
