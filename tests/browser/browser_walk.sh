#!/usr/bin/env bash
# The run command's browser path end to end: scripts/run.sh without a
# display (its private Xvfb, x11vnc and noVNC), walked through in Debian's
# chromium by walk.mjs (playwright-core, installed by scripts/test.sh from
# this folder's lock file). The program's settings go to a throwaway Wine
# prefix, never the run command's own. Screenshots: SHOTS_DIR.
# usage: browser_walk.sh win32|win64 SHOTS_DIR
set -uo pipefail
[[ $# -eq 2 ]] || {
  echo "usage: $0 win32|win64 SHOTS_DIR" >&2
  exit 2
}
preset=$1 shots=$2
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=../../scripts/lib.sh
. "$ROOT/scripts/lib.sh"
qlx_wine_for "$preset"
[[ -d $HERE/node_modules/playwright-core ]] || {
  echo "playwright-core is not installed: run 'npm ci' in $HERE (scripts/test.sh does)" >&2
  exit 1
}
[[ -x /usr/bin/chromium ]] || {
  echo "chromium is not installed (package chromium)" >&2
  exit 1
}

new_work_dir browser-walk
run_pid=
stop_run() {
  if [[ -n $run_pid ]] && kill -0 "$run_pid" 2>/dev/null; then
    kill "$run_pid" 2>/dev/null  # its own clean-up stops Wine, the servers and Xvfb
    wait "$run_pid" 2>/dev/null
  fi
}
at_exit stop_run

rm -rf "$shots"
mkdir -p "$shots"
if [[ $preset == win32 ]]; then demo_dir=$ROOT/build/demo; else demo_dir=$ROOT/build/demo-win64; fi
# No display: the run command makes its own and offers it through noVNC.
env -u DISPLAY QLX_SKIP_INSTALL=1 QLX_DEMO_DIR="$demo_dir" QLX_DEMO_PREFIX="$work/prefix" \
  bash "$ROOT/scripts/run.sh" --preset "$preset" </dev/null >"$work/run.log" 2>&1 &
run_pid=$!

# The run command builds its configuration first: it may take minutes.
url= display= deadline=$((SECONDS + 900))
until [[ -n $url ]]; do
  if ! kill -0 "$run_pid" 2>/dev/null; then
    cat "$work/run.log" >&2
    echo "the run command ended before it offered the display" >&2
    exit 1
  fi
  ((SECONDS < deadline)) || {
    cat "$work/run.log" >&2
    echo "the run command offered no noVNC address within 900 s" >&2
    exit 1
  }
  sleep 0.5
  url=$(sed -n 's/^  Open in a browser on this machine: \(http:[^ ]*\)$/\1/p' "$work/run.log")
done
display=$(sed -n 's/^  Display  *\(:[0-9]*\) .*$/\1/p' "$work/run.log")
sed -n '/^QLXDrive demonstration/,/^  Open in a browser/p' "$work/run.log"

expected=$(cd "$demo_dir/dav/mario.rossi" && ls -1 | paste -sd '|')
status=0
QLX_WALK_URL=$url QLX_WALK_DISPLAY=$display QLX_WALK_PREFIX=$work/prefix QLX_WALK_SHOTS=$shots \
  QLX_WALK_NET_LOG=$demo_dir/net.log QLX_WALK_QLXCTL=$demo_dir/qlxctl.exe QLX_WALK_EXPECTED=$expected \
  QLX_WALK_SCRIPTS=$ROOT/scripts QLX_WALK_RUN_PID=$run_pid DEMO_USER=mario.rossi DEMO_PASSWORD=Cielo-42 \
  QLX_WINE=$WINE \
  node "$HERE/walk.mjs" || status=$?
if [[ $status == 0 ]]; then
  wait "$run_pid"
  run_status=$?
  run_pid=
  tail -n 1 "$work/run.log"
  [[ $run_status == 0 ]] || {
    echo "the run command ended with $run_status after Esci" >&2
    status=1
  }
else
  echo "--- the run command's output:" >&2
  tail -n 30 "$work/run.log" >&2
fi
exit "$status"
