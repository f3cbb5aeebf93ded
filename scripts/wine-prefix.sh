#!/usr/bin/env bash
# Creates the throwaway Wine prefix once; later calls find it ready.
set -euo pipefail
export WINEPREFIX="$1"
. "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/.gen-ready" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.gen-ready"
fi
echo "wine prefix ready: $WINEPREFIX"
