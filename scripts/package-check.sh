#!/usr/bin/env bash
# Builds the library as a user would (a plain `cmake -S . -B ...`, no preset),
# installs it, and builds the example client of examples/ against the
# installed package: natively, where the example also runs, and for Windows
# with the MinGW toolchain, where it runs under 64-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

logged() {  # logged LOG COMMAND...: runs COMMAND into LOG; on failure shows all of LOG
  local log=$1
  shift
  "$@" >>"$log" 2>&1 || { cat "$log"; return 1; }
}
package() {  # package NAME [cmake options...]: build, install, build the example
  local name=$1 build=$root/build/package-$1 prefix=$root/build/package-$1/prefix
  shift
  echo "-- $name: library, installed to $prefix"
  rm -rf "$build" "$root/build/example-$name"
  local log=$build.log
  : >"$log"
  logged "$log" cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" "$@" || return 1
  logged "$log" cmake --build "$build" -j "$jobs" --target gen $( [ "$name" = native ] && echo compat ) || return 1
  logged "$log" cmake --install "$build" || return 1
  echo "-- $name: example client against find_package(Gen)"
  logged "$log" cmake -S examples -B "$root/build/example-$name" -DCMAKE_PREFIX_PATH="$prefix" "$@" || return 1
  logged "$log" cmake --build "$root/build/example-$name" || return 1
  rm -f "$log"
}
expect_output() {  # expect_output OUTPUT: the example's lines
  local want
  want=$'alpha,42,omega: 3 parts\n  alpha\n  42\n  omega\ncaught: No part named \'beta\' (the raised template)'
  if [ "$(tr -d '\r' <<<"$1")" != "$want" ]; then
    echo "unexpected output of the example:"; echo "$1"; return 1
  fi
  echo "-- the example's output is as expected"
}

package native
expect_output "$(build/example-native/gen_example)"

package windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
# The tests' prefix: made once, by them or here.
export WINEPREFIX=$root/build/win64/wineprefix
scripts/wine-prefix.sh "$WINEPREFIX"
. scripts/wine-env.sh
expect_output "$(wine build/example-windows/gen_example.exe 2>/dev/null)"
wineserver -k 2>/dev/null || true
