#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's environment.
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
exec "$WINELOADER" "$@"
