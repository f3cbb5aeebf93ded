#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target of tests/fuzz for a
# bounded time: FUZZ_SECONDS each (default 20). Corpora grow in build/fuzz/
# corpus/<target>/, starting from tests/fuzz/corpus/<target>/ when present;
# a crashing input is saved as build/fuzz/crashes/<target>/crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-20}"

cmake --preset fuzz >build-fuzz.configure.log 2>&1 || { cat build-fuzz.configure.log; exit 1; }
rm -f build-fuzz.configure.log
cmake --build --preset fuzz -j "$(nproc)"

status=0
for source in tests/fuzz/fuzz_*.cpp; do
  target="$(basename "$source" .cpp)"
  corpus="build/fuzz/corpus/$target"
  crashes="build/fuzz/crashes/$target"
  mkdir -p "$corpus" "$crashes"
  seeds=()
  [ -d "tests/fuzz/corpus/$target" ] && seeds=("tests/fuzz/corpus/$target")
  echo "== fuzz $target for ${seconds}s"
  if ! "build/fuzz/bin/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$crashes/" "$corpus" "${seeds[@]}"; then
    echo "fuzz: $target failed; inputs in $crashes/" >&2
    status=1
  fi
done
exit "$status"
