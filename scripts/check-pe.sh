#!/usr/bin/env bash
# Checks that shipped programs are PE32 GUI executables that import only
# system DLLs and carry the manifest and the version resource.
set -uo pipefail
allowed='^(KERNEL32|USER32|ADVAPI32|msvcrt|SHELL32)\.dll$'
failed=0
for exe in "$@"; do
  problems=()
  header="$(i686-w64-mingw32-objdump -p "$exe")"
  grep -q 'Magic.*010b.*(PE32)' <<<"$header" || problems+=("not PE32")
  grep -q 'Subsystem.*00000002.*(Windows GUI)' <<<"$header" || problems+=("not a GUI program")
  while read -r dll; do
    [[ "$dll" =~ $allowed ]] || problems+=("imports $dll")
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$header")
  strings -a "$exe" | grep -q 'requestedExecutionLevel level="asInvoker"' || problems+=("no asInvoker manifest")
  strings -a "$exe" | grep -q 'Microsoft.Windows.Common-Controls' || problems+=("no Common Controls 6 in the manifest")
  strings -a -el "$exe" | grep -q '^FileDescription$' || problems+=("no version resource")
  size=$(stat -c %s "$exe")
  if [ ${#problems[@]} -eq 0 ]; then
    echo "ok: $exe (PE32 GUI, $size bytes, imports: $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$header" | tr '\n' ' '))"
  else
    echo "FAILED: $exe: ${problems[*]}"
    failed=1
  fi
done
exit $failed
