# shellcheck shell=bash
# The start the installer tests under Wine share. Sourced first thing, with
# the script's own arguments in place and ROOT and session_name set:
#   session_name=msi-e2e
#   . "$ROOT/tests/installer/wine_session.sh"
# It runs the script again on a private Xvfb when DISPLAY is unset, loads
# the helpers of scripts/lib.sh and tests/lib.sh, makes the work folder
# $work, and gives the short ways to run Wine's programs; wtool needs
# $wintool (qlx_wintool.exe).

# shellcheck source=scripts/lib.sh
. "$ROOT/scripts/lib.sh"
# Arguments and reg export texts as UTF-8.
export LC_ALL=C.UTF-8
if [[ -z ${DISPLAY:-} ]]; then
  exec "$ROOT/scripts/with-xvfb.sh" bash "$0" "$@"
fi
# shellcheck source=tests/lib.sh
. "$ROOT/tests/lib.sh"
WINE=$QLX_WINE
new_work_dir "$session_name"
step() { echo "--- $*"; }
# Every Windows program with its output in files: Wine's background
# processes inherit them and would hold CTest's pipe open.
w() { "$WINE" "$@" >>"$work/wine.out" 2>>"$work/wine.err"; }
wtool() { "$WINE" "$wintool" "$@" 2>>"$work/wine.err" | tr -d '\r'; }
unix_path() { "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
# In the folder the test runs in (CTest's: the build's tests/installer).
screenshot() { import -window root "$PWD/${session_name//-/_}_$1.png" 2>/dev/null || true; }
# The end of Wine's output, for a failed run's report.
wine_output() {
  echo "Wine's output:"
  tail -n 40 "$work/wine.err"
}
