#!/usr/bin/env bash
# The mapping routines and qlxctl connect/disconnect under Wine, in a prefix
# made here for them: its C:\windows\system32\net.exe and C:\windows\
# explorer.exe are the tests' stand-ins (run in place of Wine's own through
# WINEDLLOVERRIDES), so the shared prefix of the other tests is never
# altered. The slow case (a drive that never appears, about 20 s) runs beside
# the others.
# usage: mapping_wine.sh <mapping_wine_tests.exe> <net.exe> <explorer.exe> <planted.exe> <qlxctl.exe>
set -uo pipefail
tests=$1
net=$2
explorer=$3
planted=$4
qlxctl=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/lib.sh
. "$here/../../lib.sh"
run=$here/../../../scripts/wine-run.sh

slow_pid=
stop_slow_case() { [[ -n $slow_pid ]] && kill "$slow_pid" 2>/dev/null; }
new_work_dir mapping-wine
t0=$SECONDS
boot_prefix "$work/prefix" "$work/boot.log"
at_exit stop_slow_case
echo "own prefix ready in $((SECONDS - t0)) s"
drive_c=$WINEPREFIX/drive_c
# A 32-bit program's system32 is SysWOW64 (WoW64's file system redirection).
for folder in system32 syswow64; do
  [[ $folder == system32 || -d $drive_c/windows/$folder ]] || continue
  cp "$net" "$drive_c/windows/$folder/net.exe"
done
cp "$explorer" "$drive_c/windows/explorer.exe"
export WINEDLLOVERRIDES="mscoree,mshtml=;net.exe=n;explorer.exe=n,b"
"$QLX_WINESERVER" -p </dev/null >/dev/null 2>&1

# Two copies of the tests, so that the planted net.exe beside one of them is
# not beside the other.
mkdir -p "$drive_c/qlx-a" "$drive_c/qlx-b"
cp "$tests" "$drive_c/qlx-a/tests.exe"
cp "$tests" "$drive_c/qlx-b/tests.exe"
cp "$planted" "$drive_c/qlx-a/planted.exe"
export QLX_TEST_PLANTED='C:\qlx-a\planted.exe'

"$QLX_WINE" "$drive_c/qlx-b/tests.exe" --gtest_filter='*Slow*' >"$work/slow.out" 2>&1 &
slow_pid=$!

"$run" "$drive_c/qlx-a/tests.exe" --gtest_filter='-*Slow*' || fail "the mapping tests under Wine"

# --- qlxctl connect / disconnect, end to end ---------------------------------
ctl_dir="$drive_c/qlx-ctl"
mkdir -p "$ctl_dir"
export QLX_STANDIN_DIR='C:\qlx-ctl'
# q ARGS...: runs qlxctl with standard input from $input; status, out, err.
input=
q() {
  printf '%s' "$input" >"$work/in"
  "$run" "$qlxctl" "$@" <"$work/in" >"$work/out" 2>"$work/err"
  status=$?
  out=$(tr -d '\r' <"$work/out")
  err=$(tr -d '\r' <"$work/err")
}
net_lines() { [[ -f $ctl_dir/net.log ]] && wc -l <"$ctl_dir/net.log" || echo 0; }
last_net_line() { tail -n 1 "$ctl_dir/net.log" | cut -d' ' -f3-; }
expect() {  # label, expected status, expected stderr (a prefix), [expected net.log line]
  [[ $status == "$2" ]] || fail "$1: exit $status, expected $2 (stderr [$err])"
  [[ $err == "$3"* ]] || fail "$1: stderr [$err], expected it to begin with [$3]"
  if [[ $# -ge 4 ]]; then
    [[ $(last_net_line) == "$4" ]] || fail "$1: net.exe received [$(last_net_line)], expected [$4]"
  fi
}

q info
url=$(sed -n 's/^service base URL: //p' <<<"$out")
domain=$(sed -n 's/^account domain: //p' <<<"$out")
[[ $status == 0 && $url == https://*/ && -n $domain ]] || fail "info gave [$out]"

q disconnect
expect "disconnect with nothing stored" 1 "qlxctl: disconnect: no drive is stored"
q connect
expect "connect with nothing stored" 1 "qlxctl: connect: the stored settings are incomplete"
[[ $(net_lines) == 0 ]] || fail "net.exe ran without settings"

input=$'pass word\n'
q save --drive K: --user "mario rossi"
[[ $status == 0 ]] || fail "save exited $status: $err"
awkward="NET USE K: \"${url}mario rossi\" \"pass word\" /user:\"mario rossi@${domain}\" "
q connect --no-explorer
expect "connect --no-explorer" 0 "" "$awkward"
echo "qlxctl connect: net.exe received [$(last_net_line)]"
q disconnect
expect "disconnect" 0 "" "NET USE K: /DELETE"
[[ -f $ctl_dir/explorer.log ]] && fail "connect --no-explorer opened Explorer"

q connect
expect "connect with Explorer" 0 "" "$awkward"
wait_until 15 test -s "$ctl_dir/explorer.log"
opened=$(cut -d' ' -f2- "$ctl_dir/explorer.log" 2>/dev/null)
[[ $(wc -l <"$ctl_dir/explorer.log" 2>/dev/null) == 1 && $opened == *explorer.exe*" K:" ]] ||
  fail "connect opened Explorer as [$opened]"
q disconnect
expect "disconnect after Explorer" 0 "" "NET USE K: /DELETE"

echo 2 >"$ctl_dir/net-exit.txt"
q connect
expect "connect, NET USE exits 2" 1 "qlxctl: connect: NET USE ended with code 2" "$awkward"
q disconnect
expect "disconnect, NET USE exits 2" 1 "qlxctl: disconnect: NET USE ended with code 2" "NET USE K: /DELETE"
echo 4294967295 >"$ctl_dir/net-exit.txt"
q connect
expect "connect, NET USE exits 0xFFFFFFFF" 1 "qlxctl: connect: NET USE ended with code -1 (or could not start"
rm -f "$ctl_dir/net-exit.txt"

input=$'  \n'
q save --drive K: --user mario
before=$(net_lines)
q connect
expect "connect with a blank password" 1 "qlxctl: connect: the stored settings are incomplete"
[[ $(net_lines) == "$before" ]] || fail "net.exe ran for incomplete settings"
echo "qlxctl checks done"

# --- the slow case -----------------------------------------------------------
wait "$slow_pid"
slow_status=$?
slow_pid=
tr -d '\r' <"$work/slow.out" | grep -E '^\[ +(OK|FAILED) +\]|given up|Failure|Expected|Which is|Value of' || true
[[ $slow_status == 0 ]] || fail "the slow case exited $slow_status"
echo "mapping under Wine: $((SECONDS - t0)) s in all"

finish_checks "all mapping checks under Wine passed"
