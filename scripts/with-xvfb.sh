#!/usr/bin/env bash
# with-xvfb.sh COMMAND [ARG...]
#
# Runs COMMAND with DISPLAY set to a private Xvfb on a free display, and stops
# that server when COMMAND ends (however it ends). Exits with COMMAND's status.
set -euo pipefail
[[ $# -ge 1 ]] || {
  echo "usage: $0 COMMAND [ARG...]" >&2
  exit 2
}
command -v Xvfb >/dev/null || {
  echo "with-xvfb: Xvfb is not installed (package xvfb)" >&2
  exit 1
}

# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
new_work_dir xvfb
xvfb_pid=
stop_xvfb() {
  [[ -n $xvfb_pid ]] || return 0
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
}
at_exit stop_xvfb

# -displayfd lets the server pick a free display itself and tell us which
# one once it accepts connections, so neither guessing nor polling is needed.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" </dev/null >"$work/log" 2>&1 &
xvfb_pid=$!
display=
if ! read -r -t 30 display <"$work/display" || [[ -z $display ]]; then
  echo "with-xvfb: Xvfb did not start:" >&2
  cat "$work/log" >&2
  exit 1
fi
export DISPLAY=:$display
echo "with-xvfb: DISPLAY=$DISPLAY (Xvfb pid $xvfb_pid)"

status=0
"$@" || status=$?
exit "$status"
