# shellcheck shell=bash
# tests/lib.sh: what the shell test scripts share. Sourced, never run:
#   . "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
# Through scripts/lib.sh it sets the EXIT, INT and TERM traps: a script
# asks for its clean-up with at_exit instead of a trap of its own.

# shellcheck source=../scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"

# The Wine that runs the test's exes: the host's unless the preset says.
QLX_WINE=${QLX_WINE:-$QLX_HOST_WINE}
QLX_WINESERVER=${QLX_WINESERVER:-$QLX_HOST_WINESERVER}

# ---------------------------------------------------------------- checks

failures=0
# fail TEXT...: one failed check; the script goes on with the next.
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# finish_checks PASSED-TEXT [FUNCTION]: the verdict. With failures: their
# count, FUNCTION's report to stderr, and exit 1; otherwise PASSED-TEXT.
finish_checks() {
  if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    [[ -n ${2:-} ]] && "$2" >&2
    exit 1
  fi
  echo "$1"
}

# ------------------------------------------------------------------ time

now_ms() { date +%s%3N; }

# wait_until SECONDS [!] COMMAND...: runs COMMAND until it succeeds (with
# "!", until it fails), every 50 ms; status 1 when SECONDS pass first.
wait_until() {
  local seconds=$1 negate=0
  shift
  if [[ $1 == '!' ]]; then
    negate=1
    shift
  fi
  local deadline=$(($(now_ms) + seconds * 1000))
  while :; do
    if "$@"; then
      ((negate)) || return 0
    else
      ((negate)) && return 0
    fi
    (($(now_ms) >= deadline)) && return 1
    sleep 0.05
  done
}

# ------------------------------------------------------------------ Wine

# require_prefix: the script runs in the prefix its caller made.
require_prefix() { : "${WINEPREFIX:?WINEPREFIX must name the throwaway prefix}"; }

# boot_prefix DIR [LOG [OVERRIDES]]: a new Wine prefix at DIR for this
# script alone: WINEPREFIX exported, Wine quiet, Mono and Gecko never asked
# for, then OVERRIDES (more WINEDLLOVERRIDES entries); wineboot's output to
# LOG (default: discarded). Its wineserver is stopped when the script ends.
boot_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=${3:+;$3}"
  at_exit stop_wineserver
  mkdir -p "$WINEPREFIX"
  "$QLX_WINE" wineboot --init </dev/null >"${2:-/dev/null}" 2>&1 || return 1
  "$QLX_WINESERVER" -w
}

# stop_wineserver: ends every Wine process of $WINEPREFIX and waits for it.
stop_wineserver() { qlx_stop_wine "$QLX_WINESERVER" "$WINEPREFIX"; }

# utf16_text FILE: a UTF-16LE file (`reg export` writes them) as UTF-8
# lines without CR or byte order mark.
utf16_text() { iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//'; }
