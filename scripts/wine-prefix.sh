#!/usr/bin/env bash
# Creates the throwaway Wine prefix once; later calls find it ready. Where
# this machine runs 32-bit programs the prefix is made with their half too
# (WoW64); a prefix made before that was possible is made again.
set -euo pipefail
# Wine wants an absolute prefix path.
mkdir -p "$1"
export WINEPREFIX="$(cd "$1" && pwd)"
. "$(dirname "$0")/wine-env.sh"
kind=win64
wine32_available && kind=wow64
if [ "$(cat "$WINEPREFIX/.gen-ready" 2>/dev/null)" != "$kind" ]; then
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1
  wineserver -w
  echo "$kind" >"$WINEPREFIX/.gen-ready"
fi
echo "wine prefix ready ($kind): $WINEPREFIX"
