#!/usr/bin/env bash
# Creates the throwaway Wine prefix once; later calls find it ready.
set -euo pipefail
# Wine wants an absolute prefix path.
mkdir -p "$1"
export WINEPREFIX="$(cd "$1" && pwd)"
. "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/.gen-ready" ]; then
  wine wineboot -i >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.gen-ready"
fi
echo "wine prefix ready: $WINEPREFIX"
