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

dir=$(mktemp -d)
xvfb_pid=
cleanup() {
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# -displayfd lets the server pick a free display itself and tell us which
# one once it accepts connections, so neither guessing nor polling is needed.
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$dir/display" </dev/null >"$dir/log" 2>&1 &
xvfb_pid=$!
display=
if ! read -r -t 30 display <"$dir/display" || [[ -z $display ]]; then
  echo "with-xvfb: Xvfb did not start:" >&2
  cat "$dir/log" >&2
  exit 1
fi
export DISPLAY=:$display
echo "with-xvfb: DISPLAY=$DISPLAY (Xvfb pid $xvfb_pid)"

status=0
"$@" || status=$?
exit "$status"
