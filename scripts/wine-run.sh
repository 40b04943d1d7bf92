#!/usr/bin/env bash
# Runs a Windows test binary under wine64 in the prefix the test script made.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the throwaway prefix (scripts/test.sh sets it)}"
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec /usr/lib/wine/wine64 "$@"
