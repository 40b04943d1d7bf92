#!/usr/bin/env bash
# scripts/footprint.sh, briefly, against programs whose footprint is known:
# a byte-for-byte twin of the baseline must meet the memory and idle-CPU
# goals, and a tray program that polls on a timer must be caught by the
# idle-CPU goal (exit status 1). The start-up ratio is only checked for
# being measured: a few starts on a busy machine say nothing about 1.1x.
# usage: footprint_smoke.sh <footprint.sh> <build dir> <footprint_polling_tray.exe> [win64|win32]
set -uo pipefail
footprint=$1
build=$2
polling=$3
preset=${4:-win64}
mini=$build/footprint/mini_tray.exe
# shellcheck source=tests/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
new_work_dir footprint-smoke
# goal_field OUTPUT NAME INDEX: field INDEX of the line "goal NAME VALUE LIMIT VERDICT".
goal_field() { awk -v n="$2" -v i="$3" '$1 == "goal" && $2 == n { print $i }' "$1"; }

run() {  # label program-exe ready-class
  local status=0
  local build32=$work/no-win32-build
  [[ $preset == win64 ]] || build32=$build
  "$footprint" --no-build --preset "$preset" --build64 "$build" --build32 "$build32" --runs 2 --idle 3 \
    --program "$2" "$3" "$3" >"$work/$1.out" 2>"$work/$1.err" || status=$?
  echo "--- $1 (exit $status)"
  cat "$work/$1.out" "$work/$1.err"
  return "$status"
}

cp "$mini" "$work/mini_twin.exe"
run twin "$work/mini_twin.exe" QLXMiniTray
status=$?
[[ $status == 0 || $status == 1 ]] || fail "twin: the measurement failed (exit $status)"
for goal in working_set_mib private_mib idle_cpu_ms; do
  [[ $(goal_field "$work/twin.out" $goal 5) == met ]] || fail "twin: goal $goal not met"
done
ratio=$(goal_field "$work/twin.out" startup_ratio 3)
awk -v r="$ratio" 'BEGIN { exit !(r > 0) }' || fail "twin: no start-up ratio measured [$ratio]"
starts=$(grep -cE '^  (program|baseline) +run +[12] ' "$work/twin.out")
[[ $starts == 4 ]] || fail "twin: $starts start rows, expected 4"

run polling "$polling" QLXPollingTray
status=$?
[[ $status == 1 ]] || fail "polling: exit $status, expected 1 (a goal missed)"
[[ $(goal_field "$work/polling.out" idle_cpu_ms 5) == missed ]] || fail "polling: the idle CPU goal was not missed"
# 150 timer ticks of 2 ms of work in 3 s; even a loaded machine runs a good share of them.
cpu=$(goal_field "$work/polling.out" idle_cpu_ms 3)
awk -v c="$cpu" 'BEGIN { exit !(c >= 20) }' || fail "polling: only [$cpu] ms of CPU seen while idle"

finish_checks "footprint smoke: all checks passed"
