#!/usr/bin/env bash
# Runs a Windows test binary under Wine in the prefix the test script made
# (CMAKE_CROSSCOMPILING_EMULATOR of the win64 and win32 presets). Exits with
# its status. The Wine is $QLX_WINE (the test presets set it: the host's
# wine64 for win64, scripts/wine10 for win32), the host's by default.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the throwaway prefix (scripts/test.sh sets it)}"
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
wine=${QLX_WINE:-$QLX_HOST_WINE}

# Wine's own background processes (services.exe, winedevice.exe, the desktop
# explorer.exe) are started by whichever program needs them first and inherit
# its stdout and stderr. Left on CTest's pipe they keep it open, and CTest
# waits for them until the test times out. So the program writes to files,
# copied out once it has ended (stdout and stderr kept apart; stdin is
# passed through, tests feed programs through it).
new_work_dir wine-run
out=$work/out
err=$work/err
status=0
"$wine" "$@" >"$out" 2>"$err" || status=$?
cat "$out"
cat "$err" >&2
exit "$status"
