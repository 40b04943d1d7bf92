#!/usr/bin/env bash
# The single-instance guard as separate processes under Wine: copies of a
# small program around it (guard_probe.cpp) started side by side.
# usage: guard_e2e.sh <qlx_guard_probe.exe>
set -uo pipefail
probe=$1
# shellcheck source=tests/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
require_prefix
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

top="qlx-guard-$$"
work="$WINEPREFIX/drive_c/$top"
dos="C:\\$top"
rm -rf "$work"
mkdir -p "$work"
cp "$probe" "$work/QlxGuardProbe.exe"
cp "$probe" "$work/QlxGuardOther.exe"
pids=()
stop_copies() {
  touch "$work"/*.stop 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
at_exit stop_copies

# start ID EXE: runs a copy in the background; its pid in pid_ID, its start
# time in t0_ID. Wine's output goes to files (background processes of Wine
# inherit it).
start() {
  local id=$1 exe=$2
  rm -f "$work/$id.result" "$work/$id.stop"
  printf -v "t0_$id" '%s' "$(now_ms)"
  "$QLX_WINE" "$work/$exe" "$dos\\$id.result" "$dos\\$id.stop" >"$work/$id.out" 2>&1 &
  printf -v "pid_$id" '%s' $!
  pids+=($!)
}
pid_of() { local v="pid_$1"; echo "${!v}"; }
t0_of() { local v="t0_$1"; echo "${!v}"; }
result() { cat "$work/$1.result" 2>/dev/null; }
# wait_result ID SECONDS: until the copy has written its line.
wait_result() { wait_until "$2" test -s "$work/$1.result"; }
running() { kill -0 "$(pid_of "$1")" 2>/dev/null; }
# finish ID: waits for the copy to end; its exit status in status, and the
# wall time since its start in took (ms).
finish() {
  wait "$(pid_of "$1")"
  status=$?
  took=$(($(now_ms) - $(t0_of "$1")))
}
stop() {
  touch "$work/$1.stop"
  finish "$1"
  [[ $status == 0 ]] || fail "$1 ended with $status after its stop"
}

# --- a second copy ends about 2 s later with 0; the first is undisturbed ----
start a QlxGuardProbe.exe
wait_result a 60 || fail "the first copy never reported"
[[ $(result a) == first ]] || fail "the first copy reported [$(result a)]"
start b QlxGuardProbe.exe
finish b
line=$(result b)
echo "second copy: exit $status, ${took} ms from its start to its end, its own line: [$line]"
[[ $status == 0 ]] || fail "the second copy ended with $status"
read -r kind inside code <<<"$line"
[[ $kind == second && $code == 0 ]] || fail "the second copy reported [$line]"
((inside >= 2000 && inside < 3000)) || fail "the second copy lasted ${inside} ms from its guard to its end"
((took >= 2000 && took < 10000)) || fail "the second copy took ${took} ms in all"
running a || fail "the first copy ended when the second did"
[[ $(result a) == first ]] || fail "the first copy wrote [$(result a)]"

# --- another file name runs beside it -------------------------------------
start c QlxGuardOther.exe
wait_result c 60 || fail "the copy under another name never reported"
[[ $(result c) == first ]] || fail "the copy under another name reported [$(result c)]"
running c || fail "the copy under another name did not keep running"
running a || fail "the first copy ended beside the other name"
stop c

# --- once the first has ended, a new copy starts normally -----------------
stop a
start d QlxGuardProbe.exe
wait_result d 60 || fail "the copy after the first never reported"
[[ $(result d) == first ]] || fail "the copy after the first reported [$(result d)]"
stop d

# --- eight copies at the same moment leave exactly one running -------------
ids=(e1 e2 e3 e4 e5 e6 e7 e8)
for id in "${ids[@]}"; do start "$id" QlxGuardProbe.exe; done
for id in "${ids[@]}"; do wait_result "$id" 60 || fail "copy $id never reported"; done
firsts=()
seconds=()
for id in "${ids[@]}"; do
  case $(result "$id") in
    first) firsts+=("$id") ;;
    second*) seconds+=("$id") ;;
    *) fail "copy $id reported [$(result "$id")]" ;;
  esac
done
echo "eight at once: ${#firsts[@]} first (${firsts[*]}), ${#seconds[@]} second"
((${#firsts[@]} == 1 && ${#seconds[@]} == 7)) || fail "eight at once gave ${#firsts[@]} first copies"
for id in "${seconds[@]}"; do
  finish "$id"
  [[ $status == 0 ]] || fail "second copy $id ended with $status"
done
alive=0
for id in "${ids[@]}"; do running "$id" && alive=$((alive + 1)); done
((alive == 1)) || fail "$alive copies still run after the seconds ended"
for id in "${firsts[@]}"; do stop "$id"; done

finish_checks "all guard checks passed"
