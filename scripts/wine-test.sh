#!/usr/bin/env bash
# Runs one GoogleTest program under Wine and passes only on GoogleTest's own
# summary: a program that never started still lets `wine` exit 0. A 32-bit
# program (GEN_WINE_BITS=32) is skipped where this machine cannot run one.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/wine-env.sh"
if [ "${GEN_WINE_BITS:-64}" = 32 ]; then
  if ! how=$(wine32_how); then
    echo "wine-test: skipped, 32-bit Wine $how: $1"
    exit 77  # CTest's skip code for these tests
  fi
  # Under emulation every 32-bit program started costs about a minute: a
  # test program may name, in GEN_EMULATED_FILTER, the tests that still run
  # there (a GoogleTest filter). A 32-bit test program itself is not run
  # there: the i686 unit tests end in segmentation faults that the emulator
  # reports as uncaught (seen with gen_tests and compat_tests); they run where
  # the kernel runs 32-bit code.
  case "$how" in
    *emulation*)
      if [ "${GEN_TEST_PROGRAM_BITS:-64}" = 32 ]; then
        echo "wine-test: skipped, 32-bit Wine runs $how, where 32-bit test programs die of faults the emulator does not pass on: $1"
        exit 77
      fi
      if [ -n "${GEN_EMULATED_FILTER:-}" ]; then
        export GTEST_FILTER=$GEN_EMULATED_FILTER
        echo "wine-test: 32-bit Wine runs $how: only $GTEST_FILTER"
      fi ;;
  esac
fi
if [ -z "${DISPLAY:-}" ]; then
  # Message boxes need an X server; each run gets its own and its own wineserver.
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '"$0" "$@"; rc=$?; wineserver -k 2>/dev/null; exit $rc' "$0" "$@"
fi
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
"$WINELOADER" "$@" 2>&1 | tr -d '\r' | tee "$log"
rc=${PIPESTATUS[0]}
if ! grep -q '^\[  PASSED  \] [0-9]* test' "$log"; then
  echo "wine-test: no GoogleTest pass summary from $1 (wine exit $rc)" >&2
  exit 1
fi
if grep -q '^\[  FAILED  \]' "$log"; then exit 1; fi
exit "$rc"
