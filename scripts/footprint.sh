#!/usr/bin/env bash
# scripts/footprint.sh: QLXDrive's footprint under Wine, measured side by
# side with a minimal tray program (tools/footprint/mini_tray.cpp) built in
# the same run with the same toolchain:
#   - start-up until the tray window exists, median of RUNS alternating
#     starts (goal: within 1.2x of the minimal program);
#   - working set and private memory once idle (goal: within +2 MiB);
#   - CPU time spent over IDLE seconds of nothing happening (goal: 0 ms);
#   - the size and the imports of the shipped i686 exe.
# Wine reports neither another process's CPU times nor its private bytes,
# so those are read from the Wine processes' /proc entries while the probe
# holds both programs idle.
#
# usage: scripts/footprint.sh [--runs N] [--idle SECONDS] [--no-build]
#          [--build64 DIR] [--build32 DIR]
#          [--program EXE READY_CLASS CLOSE_CLASS] [--baseline EXE READY_CLASS CLOSE_CLASS]
# Uses $WINEPREFIX when set (else a throwaway prefix) and $DISPLAY when set
# (else a private Xvfb). Exit status: 0 all goals met, 1 a goal missed,
# 2 the measurement itself failed. One "goal NAME VALUE LIMIT met|missed"
# line per goal, for scripts.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
JOBS=${QLX_JOBS:-2}

runs=15
idle=30
build=1
build64=$ROOT/build/win64
build32=$ROOT/build/win32
program=()
baseline=()
original_args=("$@")

usage() {
  sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}
die() {
  echo "footprint: $*" >&2
  exit 2
}
while [[ $# -gt 0 ]]; do
  case $1 in
    --runs) runs=${2:?}; shift 2 ;;
    --idle) idle=${2:?}; shift 2 ;;
    --no-build) build=0; shift ;;
    --build64) build64=${2:?}; shift 2 ;;
    --build32) build32=${2:?}; shift 2 ;;
    --program) [[ $# -ge 4 ]] || usage; program=("$2" "$3" "$4"); shift 4 ;;
    --baseline) [[ $# -ge 4 ]] || usage; baseline=("$2" "$3" "$4"); shift 4 ;;
    -h | --help) usage ;;
    *) usage ;;
  esac
done
[[ $runs =~ ^[1-9][0-9]*$ && $idle =~ ^[1-9][0-9]*$ ]] || die "--runs and --idle take positive whole numbers"

# ------------------------------------------------------------------ build

build_preset() {  # preset dir targets...
  local preset=$1 dir=$2
  shift 2
  [[ -f $dir/CMakeCache.txt ]] || cmake --preset "$preset" -B "$dir" </dev/null >/dev/null
  cmake --build "$dir" -j "$JOBS" --target "$@" </dev/null
}
if [[ $build == 1 && -z ${QLX_FOOTPRINT_BUILT:-} ]]; then
  build_preset win64 "$build64" QLXDrive mini_tray footprint_probe
  build_preset win32 "$build32" QLXDrive mini_tray
fi

[[ ${#program[@]} -gt 0 ]] || program=("$build64/QLXDrive.exe" QLXDriveTray TfmDrive)
[[ ${#baseline[@]} -gt 0 ]] || baseline=("$build64/footprint/mini_tray.exe" QLXMiniTray QLXMiniTray)
probe=$build64/footprint/footprint_probe.exe
for exe in "$probe" "${program[0]}" "${baseline[0]}"; do
  [[ -f $exe ]] || die "$exe is missing (build it, or leave out --no-build)"
done
program[0]=$(realpath "${program[0]}")
baseline[0]=$(realpath "${baseline[0]}")
[[ ${program[0]} != "${baseline[0]}" ]] || die "the program and the baseline must be two files"

# Wine needs a display for the tray: a private one when there is none.
if [[ -z ${DISPLAY:-} ]]; then
  QLX_FOOTPRINT_BUILT=1 exec "$ROOT/scripts/with-xvfb.sh" "${BASH_SOURCE[0]}" "${original_args[@]}"
fi

# ------------------------------------------------------------ Wine prefix

work=$(mktemp -d)
own_prefix=
probe_pid=
cleanup() {
  [[ -z $probe_pid ]] || kill "$probe_pid" 2>/dev/null || true
  if [[ -n $own_prefix ]]; then
    WINEPREFIX=$own_prefix "$WINESERVER" -k 2>/dev/null || true
    WINEPREFIX=$own_prefix timeout 30 "$WINESERVER" -w 2>/dev/null || true
    rm -rf "$own_prefix"
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export WINEDEBUG=${WINEDEBUG:--all}
# No desktop entries in the host's home for what runs in the prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
if [[ -z ${WINEPREFIX:-} ]]; then
  own_prefix=$(mktemp -d /tmp/qlx-footprint.XXXXXX)
  export WINEPREFIX=$own_prefix
  echo "footprint: making a Wine prefix in $WINEPREFIX"
  "$WINE" wineboot --init </dev/null >"$work/wineboot.log" 2>&1 || die "wineboot failed"
  "$WINESERVER" -w
fi

# ------------------------------------------------------------ measurement

# The Wine process running EXE in this prefix (its argv[0] is the path the
# probe started).
unix_pid() {
  local exe=$1 found=() dir arg0
  for dir in /proc/[0-9]*; do
    # Processes come and go meanwhile: a vanished one is no match.
    arg0=$({ tr '\0' '\n' <"$dir/cmdline" | head -n1; } 2>/dev/null) || continue
    [[ $arg0 == "$exe" ]] || continue
    { tr '\0' '\n' <"$dir/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; } 2>/dev/null || continue
    found+=("${dir#/proc/}")
  done
  [[ ${#found[@]} -eq 1 ]] || return 1
  echo "${found[0]}"
}
# Nanoseconds on a CPU, all threads: the scheduler's own count, finer than
# the 10 ms ticks of /proc/PID/stat.
cpu_ns() {
  cat /proc/"$1"/task/*/schedstat | awk '{ sum += $1 } END { printf "%d\n", sum }'
}
# Resident and private resident memory in kB.
memory_kb() {
  awk '/^Rss:/ { rss = $2 } /^Private_(Clean|Dirty):/ { private += $2 } END { print rss, private }' \
    /proc/"$1"/smaps_rollup
}

echo "footprint: $runs starts each, then $idle s idle, in $WINEPREFIX (DISPLAY $DISPLAY)"
mkfifo "$work/feed"
"$WINE" "$probe" "$runs" program "${program[@]}" baseline "${baseline[@]}" \
  <"$work/feed" >"$work/probe.out" 2>"$work/probe.err" &
probe_pid=$!
exec {feed}>"$work/feed"

deadline=$((SECONDS + 120 + runs * 60))
until [[ $(grep -c '^idle-begin ' "$work/probe.out") == 2 ]]; do
  if ! kill -0 "$probe_pid" 2>/dev/null; then
    cat "$work/probe.out" "$work/probe.err" >&2
    die "the probe ended before the idle period"
  fi
  ((SECONDS < deadline)) || die "the programs were not idle within $((120 + runs * 60)) s"
  sleep 0.2
done
pid_program=$(unix_pid "${program[0]}") || die "no single Wine process for ${program[0]}"
pid_baseline=$(unix_pid "${baseline[0]}") || die "no single Wine process for ${baseline[0]}"
cpu_program_0=$(cpu_ns "$pid_program")
cpu_baseline_0=$(cpu_ns "$pid_baseline")
# The idle period is the measurement itself, not a wait for something.
sleep "$idle"
cpu_program_1=$(cpu_ns "$pid_program")
cpu_baseline_1=$(cpu_ns "$pid_baseline")
read -r rss_program private_program < <(memory_kb "$pid_program")
read -r rss_baseline private_baseline < <(memory_kb "$pid_baseline")
echo >&"$feed"
exec {feed}>&-
probe_status=0
wait "$probe_pid" || probe_status=$?
probe_pid=
if [[ $probe_status != 0 ]]; then
  cat "$work/probe.out" "$work/probe.err" >&2
  die "the probe failed (exit $probe_status)"
fi

# ----------------------------------------------------------------- report

# The probe writes CRLF lines (a Windows C runtime in text mode).
tr -d '\r' <"$work/probe.out" >"$work/probe.txt"
field() {  # record label index
  awk -v r="$1" -v l="$2" -v i="$3" '$1 == r && $2 == l { print $i; exit }' "$work/probe.txt"
}
window_program=$(field median program 3)
window_baseline=$(field median baseline 3)
input_program=$(field median program 4)
input_baseline=$(field median baseline 4)
ws_program=$(field idle program 5)
ws_baseline=$(field idle baseline 5)

missed=0
goals=()
verdict=
goal() {  # name value limit condition (awk, on v = value and l = limit); sets $verdict
  verdict=$(awk -v v="$2" -v l="$3" "BEGIN { print ($4) ? \"met\" : \"missed\" }")
  [[ $verdict == met ]] || missed=$((missed + 1))
  goals+=("goal $1 $2 $3 $verdict")
}
ratio=$(awk -v a="$window_program" -v b="$window_baseline" 'BEGIN { printf "%.3f", a / b }')
input_ratio=$(awk -v a="$input_program" -v b="$input_baseline" 'BEGIN { if (a < 0 || b < 0) print "n/a"; else printf "%.3f", a / b }')
ws_diff=$(awk -v a="$rss_program" -v b="$rss_baseline" 'BEGIN { printf "%+.3f", (a - b) / 1024 }')
private_diff=$(awk -v a="$private_program" -v b="$private_baseline" 'BEGIN { printf "%+.3f", (a - b) / 1024 }')
cpu_program=$(awk -v a="$cpu_program_0" -v b="$cpu_program_1" 'BEGIN { printf "%.3f", (b - a) / 1e6 }')
cpu_baseline=$(awk -v a="$cpu_baseline_0" -v b="$cpu_baseline_1" 'BEGIN { printf "%.3f", (b - a) / 1e6 }')
mib() { awk -v k="$1" 'BEGIN { printf "%.2f MiB", k / 1024 }'; }

name_program=$(basename "${program[0]}")
name_baseline=$(basename "${baseline[0]}")
echo
echo "Footprint under $("$WINE" --version 2>/dev/null || echo Wine), x86_64 builds: $runs starts each, $idle s idle"
printf '%-34s %14s %14s %12s  %-10s %s\n' "" "$name_program" "$name_baseline" "result" "goal" ""
goal startup_ratio "$ratio" 1.2 'v <= l'
printf '%-34s %11.1f ms %11.1f ms %11sx  %-10s %s\n' "start-up to tray window (median)" \
  "$window_program" "$window_baseline" "$ratio" "<= 1.2x" "$verdict"
printf '%-34s %11.1f ms %11.1f ms %12s  %-10s\n' "start-up to input idle (median)" \
  "$input_program" "$input_baseline" "${input_ratio}x" "(info)"
goal working_set_mib "$ws_diff" 2 'v <= l'
printf '%-34s %14s %14s %8s MiB  %-10s %s\n' "working set once idle" "$(mib "$rss_program")" \
  "$(mib "$rss_baseline")" "$ws_diff" "<= +2 MiB" "$verdict"
goal private_mib "$private_diff" 2 'v <= l'
printf '%-34s %14s %14s %8s MiB  %-10s %s\n' "private memory once idle" "$(mib "$private_program")" \
  "$(mib "$private_baseline")" "$private_diff" "<= +2 MiB" "$verdict"
goal idle_cpu_ms "$cpu_program" 0.5 'v < l'
printf '%-34s %11s ms %11s ms %12s  %-10s %s\n' "CPU time while idle" "$cpu_program" "$cpu_baseline" "" \
  "0 ms" "$verdict"
printf '%-34s %14s %14s\n' "working set (GetProcessMemoryInfo)" \
  "$(mib $((ws_program / 1024)))" "$(mib $((ws_baseline / 1024)))"
echo "Starts (ms to tray window / to input idle):"
awk '$1 == "start" { printf "  %-9s run %2d  %9.1f  %9.1f\n", $2, $3, $4, $5 }' "$work/probe.txt"
echo "Working set: the process's resident memory; private memory: its resident private pages"
echo "(smaps); CPU: the scheduler's run time of all its threads (a goal of 0 ms: under 0.5 ms)."

# The shipped exe: size and imports.
imports() {
  i686-w64-mingw32-objdump -p "$1" | awk '
    /^\tDLL Name:/ { dll = $3; order[++count] = dll; n[dll] = 0; next }
    /^$/ { dll = "" }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { n[dll]++ }
    END { for (i = 1; i <= count; i++) printf "%s%s (%d)", (i > 1 ? ", " : ""), order[i], n[order[i]]; print "" }'
}
echo
echo "i686 exes ($build32):"
for exe in "$build32/QLXDrive.exe" "$build32/footprint/mini_tray.exe"; do
  if [[ -f $exe ]]; then
    printf '  %-14s %9d bytes (%.1f KiB); imports: %s\n' "$(basename "$exe")" "$(stat -c %s "$exe")" \
      "$(awk -v s="$(stat -c %s "$exe")" 'BEGIN { print s / 1024 }')" "$(imports "$exe")"
  else
    printf '  %-14s not built\n' "$(basename "$exe")"
  fi
done

echo
printf '%s\n' "${goals[@]}"
if ((missed > 0)); then
  echo "footprint: $missed goal(s) missed"
  exit 1
fi
echo "footprint: all goals met"
