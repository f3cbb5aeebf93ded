#!/usr/bin/env bash
# The test command: installs what is missing, builds the three ways and runs
# every test (natively with the sanitizers, and under Wine with Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
for preset in native win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >"build-$preset.configure.log" 2>&1 || { cat "build-$preset.configure.log"; exit 1; }
  rm -f "build-$preset.configure.log"
  cmake --build --preset "$preset" -j "$jobs"
done

passed=0
failed=0
count() {  # count LOG: adds ctest's closing numbers to the totals
  local line total bad
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad)); failed=$((failed + bad))
}
log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "== shipped programs"
if scripts/check-pe.sh build/win32/bin/Run.exe build/win32/bin/install.exe; then
  passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "== native tests"
ctest --preset native -j "$jobs" 2>&1 | tee "$log" || true
count "$log"

echo "== tests under Wine"
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset win64 2>&1 | tee "$log" || true
count "$log"

echo "== fuzzing (${FUZZ_SECONDS:=15}s a target)"
if FUZZ_SECONDS=$FUZZ_SECONDS scripts/fuzz.sh; then
  passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "all: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
