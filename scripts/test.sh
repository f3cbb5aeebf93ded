#!/usr/bin/env bash
# The test command: installs what is missing, builds every way and runs
# every test: natively with the sanitizers; under Wine with Xvfb, the 64-bit
# tests, then the shipped 32-bit programs end to end and the i686 tests
# (WoW64); the library's package with the example client; the release; the
# fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh

jobs=$(nproc)
for preset in native win32 win64 win32-tests; do
  echo "== build $preset"
  cmake --preset "$preset" >"build-$preset.configure.log" 2>&1 || { cat "build-$preset.configure.log"; exit 1; }
  rm -f "build-$preset.configure.log"
  cmake --build --preset "$preset" -j "$jobs"
done

passed=0
failed=0
skipped=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# group NAME COMMAND...: runs a group of tests; a ctest run is counted by its
# closing line and its skipped tests, and fails on its own exit status too;
# another command is one test, skipped when it exits with 77 (CTest's skip
# code, as scripts/wine-test.sh uses it).
group() {
  local name=$1 rc=0 line total bad skip
  shift
  echo "== $name"
  "$@" 2>&1 | tee "$log" || rc=$?
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1) || true
  if [ -z "$line" ]; then
    if [ "$rc" -eq 0 ]; then passed=$((passed + 1))
    elif [ "$rc" -eq 77 ]; then skipped=$((skipped + 1))
    else failed=$((failed + 1)); fi
    return 0
  fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  skip=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log") || true
  passed=$((passed + total - bad - skip)); failed=$((failed + bad)); skipped=$((skipped + skip))
  # ctest failing with nothing failed in its summary (a crash, a bad option)
  if [ "$rc" -ne 0 ] && [ "$bad" -eq 0 ]; then failed=$((failed + 1)); fi
  return 0
}
wine() { xvfb-run -a -s "-screen 0 1024x768x24" "$@"; }

group "shipped programs" scripts/check-pe.sh build/win32/bin/Run.exe build/win32/bin/install.exe
group "native tests" ctest --preset native -j "$jobs"
group "64-bit tests under Wine" wine ctest --preset win64 -E '^e2e_tests_pe32$'

. scripts/wine32.sh
wine32=$(wine32_how) || true
group "32-bit: the shipped programs end to end under Wine" wine ctest --preset win64 -R '^e2e_tests_pe32$'
group "32-bit: the i686 tests under Wine" wine ctest --preset win32-tests

group "the library's package and its client" scripts/package-check.sh
group "the release: built twice, byte for byte; signed and verified" scripts/release-check.sh
group "32-bit: the signed programs under Wine" wine scripts/release-check.sh wine
group "fuzzing (${FUZZ_SECONDS:=15}s a target)" env FUZZ_SECONDS="$FUZZ_SECONDS" scripts/fuzz.sh

case "$wine32" in
  *emulation*) wine32="ran $wine32: the shipped programs end to end, one case of each outcome (a minute's emulation a start); the i686 test programs skipped, as they die under the emulator" ;;
  natively) wine32="ran natively: every 32-bit run" ;;
  *) wine32="NOT RUN, $wine32: every 32-bit run was skipped" ;;
esac
echo "32-bit Wine: $wine32"
[ "$skipped" -eq 0 ] || echo "skipped: $skipped test runs (see above; they did not run and are not counted as passed)"
echo "all: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
