#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build and test tools is missing.
set -euo pipefail
packages=(cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev zlib1g-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xauth xdotool imagemagick)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
