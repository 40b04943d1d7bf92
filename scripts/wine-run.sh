#!/usr/bin/env bash
# Runs a Windows test binary under wine64 in the prefix the test script made
# (CMAKE_CROSSCOMPILING_EMULATOR of the win64 preset). Exits with its status.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the throwaway prefix (scripts/test.sh sets it)}"
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Wine's own background processes (services.exe, winedevice.exe, the desktop
# explorer.exe) are started by whichever program needs them first and inherit
# its stdout and stderr. Left on CTest's pipe they keep it open, and CTest
# waits for them until the test times out. So the program writes to files,
# copied out once it has ended (stdout and stderr kept apart; stdin is
# passed through, tests feed programs through it).
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
status=0
/usr/lib/wine/wine64 "$@" >"$out" 2>"$err" || status=$?
cat "$out"
cat "$err" >&2
exit "$status"
