#!/usr/bin/env bash
# scripts/test.sh: builds and runs every test, starting from a fresh Debian 12
# as root: installs the packages, builds the native, win64 and win32 presets,
# runs their tests (win64 under a throwaway Wine prefix), then each fuzz
# target for a while on its seed corpus. Every stage runs even when an
# earlier one failed; the summary at the end tells which did, and the exit
# status is non-zero if any did.
#
# Environment: QLX_FUZZ_SECONDS (default 30) per fuzz target; QLX_JOBS
# (default 2) for the builds.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

JOBS=${QLX_JOBS:-2}
FUZZ_SECONDS=${QLX_FUZZ_SECONDS:-30}
WINE=/usr/lib/wine/wine64
# From libwine, so present with wine64 alone (/usr/bin/wineserver needs the
# "wine" package).
WINESERVER=/usr/lib/wine/wineserver
FUZZ_TARGETS=(fuzz_base64 fuzz_decrypt)

PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64 wine64
  libgtest-dev libbenchmark-dev libssl-dev
  python3 python3-pycryptodome
  xvfb xdotool imagemagick x11-xkb-utils nsis
  rclone x11vnc novnc websockify iproute2
)

# ---------------------------------------------------------------- clean-up

WINE_DIR=
cleanup() {
  if [[ -n $WINE_DIR && -d $WINE_DIR ]]; then
    if [[ -x $WINESERVER ]]; then
      WINEPREFIX=$WINE_DIR "$WINESERVER" -k 2>/dev/null || true
      WINEPREFIX=$WINE_DIR timeout 30 "$WINESERVER" -w 2>/dev/null || true
    fi
    rm -rf "$WINE_DIR"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ------------------------------------------------------------------ stages

STAGE_NAMES=()
STAGE_RESULTS=()
STAGE_SECONDS=()
START=$SECONDS

# run_stage NAME COMMAND...: runs COMMAND in a subshell with errexit on and
# records the outcome. Not called from a condition (that would switch
# errexit off inside the stage).
run_stage() {
  local name=$1
  shift
  local t0=$SECONDS rc
  echo
  echo "======== $name"
  set +e
  (
    set -euo pipefail
    "$@"
  )
  rc=$?
  set -e
  STAGE_NAMES+=("$name")
  STAGE_SECONDS+=($((SECONDS - t0)))
  if [[ $rc -eq 0 ]]; then
    STAGE_RESULTS+=(ok)
  else
    STAGE_RESULTS+=("FAILED (exit $rc)")
    echo "======== $name: FAILED (exit $rc)"
  fi
}

install_packages() {
  local apt=(apt-get)
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || {
      echo "not root and no sudo: cannot install ${PACKAGES[*]}" >&2
      return 1
    }
    apt=(sudo apt-get)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${apt[@]}" -o DPkg::Lock::Timeout=600 -o Acquire::Retries=3 update
  # Always the full list: an already installed package costs nothing, and a
  # skipped install step would hide a missing one. Recommends stay on: Wine
  # relies on several of them (GL, fonts) once windows are drawn.
  "${apt[@]}" -o DPkg::Lock::Timeout=600 -o Acquire::Retries=3 install -y "${PACKAGES[@]}"
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

test_preset() {
  ctest --preset "$1" </dev/null
}

make_wine_prefix() {
  export WINEPREFIX=$WINE_DIR WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  "$WINE" wineboot --init </dev/null
  "$WINESERVER" -w
}

test_win64() {
  export WINEPREFIX=$WINE_DIR WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  [[ -f $WINEPREFIX/system.reg ]] || {
    echo "the Wine prefix was not created" >&2
    return 1
  }
  # One server for the whole run instead of one per test exe (saves seconds
  # per test); stopped after the tests, or by the exit trap.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  local rc=0
  "$ROOT/scripts/with-xvfb.sh" ctest --preset win64 </dev/null || rc=$?
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
for preset in native win64 win32; do
  run_stage "build $preset" build_preset "$preset"
done
run_stage "ctest native" test_preset native

WINE_DIR=$(mktemp -d /tmp/qlx-wine.XXXXXX)
run_stage "wine prefix" make_wine_prefix
run_stage "ctest win64 (wine64, Xvfb)" test_win64
run_stage "ctest win32 (PE checks)" test_preset win32

for name in "${FUZZ_TARGETS[@]}"; do
  run_stage "fuzz $name (${FUZZ_SECONDS}s)" fuzz_target "$name"
done

# ----------------------------------------------------------------- summary

echo
echo "======== summary"
failed=0
for i in "${!STAGE_NAMES[@]}"; do
  printf '  %-34s %6ss  %s\n' "${STAGE_NAMES[$i]}" "${STAGE_SECONDS[$i]}" "${STAGE_RESULTS[$i]}"
  [[ ${STAGE_RESULTS[$i]} == ok ]] || failed=$((failed + 1))
done
echo "  total wall-clock time: $((SECONDS - START))s"
echo "Stages: $((${#STAGE_NAMES[@]} - failed)) passed, $failed failed"
[[ $failed -eq 0 ]]
