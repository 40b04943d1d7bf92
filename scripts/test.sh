#!/usr/bin/env bash
# scripts/test.sh: builds and runs every test, starting from a fresh Debian 12
# as root: installs the packages, makes the Wine 10 root once
# (scripts/wine10-root.sh, cached outside the clone), builds the native,
# win64 and win32 presets, runs their tests (win64 under the host's Wine 8,
# win32, the shipped i686 build, under Wine 10's WoW64 inside the root, each
# in a throwaway Wine prefix and on a private Xvfb), walks through the run
# command in a real browser, then runs each fuzz target for a while on its
# seed corpus. Every stage runs even when an earlier one failed; the summary
# at the end tells which did, with each stage's time and test count, and the
# exit status is non-zero if any did.
#
# Environment: QLX_FUZZ_SECONDS (default 30) per fuzz target; QLX_JOBS
# (default 2) for the builds.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
# shellcheck source=lib.sh
. "$ROOT/scripts/lib.sh"

JOBS=${QLX_JOBS:-2}
FUZZ_SECONDS=${QLX_FUZZ_SECONDS:-30}
FUZZ_TARGETS=(fuzz_base64 fuzz_decrypt)

PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64 wine64
  libgtest-dev libbenchmark-dev libssl-dev
  python3 python3-pycryptodome openssl
  xvfb xdotool imagemagick x11-xkb-utils nsis
  rclone apache2 apache2-utils openssl x11vnc novnc websockify iproute2
  debootstrap chromium
  wixl msitools osslsigncode
)

# ---------------------------------------------------------------- clean-up

# The throwaway prefixes, each with the Wine that made it.
WINE_DIR=
WINE10_DIR=
remove_prefixes() {
  local dir preset
  for preset in win64 win32; do
    dir=$WINE_DIR
    [[ $preset == win64 ]] || dir=$WINE10_DIR
    [[ -n $dir && -d $dir ]] || continue
    qlx_wine_for "$preset"
    qlx_stop_wine "$WINESERVER" "$dir"
    rm -rf "$dir"
  done
}
at_exit remove_prefixes

# ------------------------------------------------------------------ stages

STAGE_NAMES=()
STAGE_RESULTS=()
STAGE_SECONDS=()
STAGE_COUNTS=()
START=$SECONDS
# A stage that counts something (tests, fuzz runs) writes it here.
COUNT_FILE=$(mktemp)
remove_count_file() { rm -f "$COUNT_FILE"; }
at_exit remove_count_file

# run_stage NAME COMMAND...: runs COMMAND in a subshell with errexit on and
# records the outcome. Not called from a condition (that would switch
# errexit off inside the stage).
run_stage() {
  local name=$1
  shift
  local t0=$SECONDS rc
  echo
  echo "======== $name"
  : >"$COUNT_FILE"
  set +e
  (
    set -euo pipefail
    "$@"
  )
  rc=$?
  set -e
  STAGE_NAMES+=("$name")
  STAGE_SECONDS+=($((SECONDS - t0)))
  STAGE_COUNTS+=("$(cat "$COUNT_FILE")")
  if [[ $rc -eq 0 ]]; then
    STAGE_RESULTS+=(ok)
  else
    STAGE_RESULTS+=("FAILED (exit $rc)")
    echo "======== $name: FAILED (exit $rc)"
  fi
}

install_packages() {
  # Always the full list: an already installed package costs nothing, and a
  # skipped install step would hide a missing one. Recommends stay on: Wine
  # relies on several of them (GL, fonts) once windows are drawn. npm only
  # when there is none: a Node.js from elsewhere brings its own, which
  # Debian's package would replace.
  local extra=()
  command -v npm >/dev/null || extra=(nodejs npm)
  qlx_apt_install "${PACKAGES[@]}" "${extra[@]}"
  # The browser walk's driver, at the version its lock file names.
  (cd "$ROOT/tests/browser" && npm ci --no-audit --no-fund --loglevel=error)
}

make_wine10_root() {
  "$ROOT/scripts/wine10-root.sh" ensure </dev/null
}

build_preset() {
  # --fresh: a cache from an older configure keeps its old compiler and
  # options even when the toolchain files changed; objects whose command
  # lines did not change are still reused.
  cmake --preset "$1" --fresh </dev/null
  # -k 0: build everything that can be built, so that one broken target
  # does not hide the results of all the others.
  cmake --build --preset "$1" -j "$JOBS" -- -k 0 </dev/null
}

# ctest_counted COMMAND...: a ctest run (COMMAND), its output and closing
# lines shown as they come, the count of tests it ran noted for the summary.
ctest_counted() {
  local log rc=0
  log=$(mktemp)
  "$@" </dev/null 2>&1 | tee "$log" || rc=$?
  sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests failed out of \([0-9]*\)$/\2 tests, \1 failed/p' "$log" |
    tail -n 1 >"$COUNT_FILE"
  rm -f "$log"
  return "$rc"
}

test_preset() {
  ctest_counted ctest --preset "$1"
}

# make_wine_prefix PRESET DIR: a prefix made by the Wine that runs PRESET.
make_wine_prefix() {
  qlx_wine_for "$1"
  export WINEPREFIX=$2 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  "$WINE" wineboot --init </dev/null
  "$WINESERVER" -w
}

# test_wine PRESET DIR: the preset's whole ctest in the prefix DIR, on a
# private Xvfb.
test_wine() {
  qlx_wine_for "$1"
  export WINEPREFIX=$2 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  [[ -f $WINEPREFIX/system.reg ]] || {
    echo "the Wine prefix was not created" >&2
    return 1
  }
  # One server for the whole run instead of one per test exe (saves seconds
  # per test); stopped after the tests, or by the exit trap.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  local rc=0
  ctest_counted "$ROOT/scripts/with-xvfb.sh" ctest --preset "$1" || rc=$?
  "$WINESERVER" -k 2>/dev/null || true
  return "$rc"
}

fuzz_target() {
  local name=$1
  local exe=$ROOT/build/native/fuzz/$name
  local work=$ROOT/build/native/fuzz/run/$name
  [[ -x $exe ]] || {
    echo "$exe was not built" >&2
    return 1
  }
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  # New inputs go to the scratch corpus, never into the committed seeds.
  # The fuzzer's progress lines go to a log; its totals are shown, or its
  # end when the run failed.
  local rc=0
  "$exe" -max_total_time="$FUZZ_SECONDS" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$ROOT/fuzz/corpus/$name" \
    </dev/null >"$work/fuzz.log" 2>&1 || rc=$?
  sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)$/\1 runs/p' "$work/fuzz.log" >"$COUNT_FILE"
  if [[ $rc -eq 0 ]]; then
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^Done|^stat::' "$work/fuzz.log" || true
  else
    tail -n 80 "$work/fuzz.log"
    echo "fuzz log: $work/fuzz.log; failing input: $(ls "$work/artifacts")" >&2
  fi
  return "$rc"
}

# --------------------------------------------------------------------- run

run_stage "install packages" install_packages
run_stage "wine10 root (Debian sid)" make_wine10_root
for preset in native win64 win32; do
  run_stage "build $preset" build_preset "$preset"
done
run_stage "ctest native" test_preset native

# The shipped i686 build first, then its x86_64 twin under a second Wine.
WINE10_DIR=$(mktemp -d /tmp/qlx-wine10.XXXXXX)
run_stage "wine prefix (Wine 10)" make_wine_prefix win32 "$WINE10_DIR"
run_stage "ctest win32 (Wine 10 WoW64)" test_wine win32 "$WINE10_DIR"

WINE_DIR=$(mktemp -d /tmp/qlx-wine.XXXXXX)
run_stage "wine prefix (Wine 8)" make_wine_prefix win64 "$WINE_DIR"
run_stage "ctest win64 (Wine 8)" test_wine win64 "$WINE_DIR"

for name in "${FUZZ_TARGETS[@]}"; do
  run_stage "fuzz $name (${FUZZ_SECONDS}s)" fuzz_target "$name"
done

# ----------------------------------------------------------------- summary

echo
echo "======== summary"
failed=0
for i in "${!STAGE_NAMES[@]}"; do
  printf '  %-30s %6ss  %-22s %s\n' "${STAGE_NAMES[$i]}" "${STAGE_SECONDS[$i]}" "${STAGE_COUNTS[$i]}" \
    "${STAGE_RESULTS[$i]}"
  [[ ${STAGE_RESULTS[$i]} == ok ]] || failed=$((failed + 1))
done
echo "  total wall-clock time: $((SECONDS - START))s"
echo "Stages: $((${#STAGE_NAMES[@]} - failed)) passed, $failed failed"
[[ $failed -eq 0 ]]
