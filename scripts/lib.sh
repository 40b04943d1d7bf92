# shellcheck shell=bash
# scripts/lib.sh: helpers shared by the scripts and, through tests/lib.sh,
# the test scripts (sourced, never run). Sourcing it sets the EXIT, INT and
# TERM traps: a script asks for its clean-up with at_exit instead of a trap
# of its own.
[[ -z ${QLX_LIB_DIR:-} ]] || return 0  # sourced once: a second time would forget the clean-up asked for

# The host's Wine (Debian 12's Wine 8, x86_64 only) and the Wine 10 root's
# (WoW64: runs the shipped i686 exe in a 64-bit process).
QLX_HOST_WINE=/usr/lib/wine/wine64
QLX_HOST_WINESERVER=/usr/lib/wine/wineserver
QLX_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# ------------------------------------------------------------- clean-up

_qlx_exit_actions=()
# at_exit FUNCTION: runs FUNCTION when the script ends, however it ends;
# the last one asked for runs first. The script's exit status stays the one
# it ended with (130 after Ctrl-C, 143 when terminated).
at_exit() { _qlx_exit_actions+=("$1"); }
_qlx_run_exit_actions() {
  local status=$? i
  set +e
  for ((i = ${#_qlx_exit_actions[@]} - 1; i >= 0; i--)); do "${_qlx_exit_actions[i]}"; done
  exit "$status"
}
trap _qlx_run_exit_actions EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# new_work_dir NAME: a fresh folder /tmp/qlx-NAME.XXXXXX in $work, removed
# when the script ends.
work=
new_work_dir() {
  work=$(mktemp -d "/tmp/qlx-$1.XXXXXX") || exit 1
  at_exit _qlx_remove_work
}
_qlx_remove_work() { [[ -n ${work:-} ]] && rm -rf "$work"; }

# qlx_stop_wine WINESERVER PREFIX: ends every Wine process of PREFIX (the
# server writes the registry to the prefix first) and waits, 30 s at most,
# for them to go. Never fails: it is clean-up.
qlx_stop_wine() {
  WINEPREFIX=$2 "$1" -k 2>/dev/null
  WINEPREFIX=$2 timeout 30 "$1" -w 2>/dev/null
  return 0
}

# qlx_apt_install PACKAGE...: apt-get update and install, as root or
# through sudo; waits for another apt to finish rather than failing.
qlx_apt_install() {
  local apt=(apt-get)
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || {
      echo "not root and no sudo: cannot install $*" >&2
      return 1
    }
    apt=(sudo apt-get)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${apt[@]}" -o DPkg::Lock::Timeout=600 -o Acquire::Retries=3 update
  "${apt[@]}" -o DPkg::Lock::Timeout=600 -o Acquire::Retries=3 install -y "$@"
}

# qlx_wine_for PRESET: sets WINE and WINESERVER to the Wine that runs that
# preset's exes: the host's for win64, the Wine 10 root's (through its
# runner) for win32.
# shellcheck disable=SC2034  # WINE and WINESERVER are for the caller
qlx_wine_for() {
  case $1 in
    win64)
      WINE=$QLX_HOST_WINE
      WINESERVER=$QLX_HOST_WINESERVER
      ;;
    win32)
      WINE=$QLX_LIB_DIR/wine10
      WINESERVER=$QLX_LIB_DIR/wineserver10
      ;;
    *)
      echo "qlx_wine_for: no Wine for preset $1" >&2
      return 1
      ;;
  esac
}

# qlx_tray_window [PREFIX]: the X window of Wine's notification area on a
# display that has no system tray of its own ($DISPLAY), of the Wine
# processes of PREFIX when one is given: Wine 8's "Wine System Tray", or
# Wine 10's taskbar, an untitled explorer.exe bar (160x20 inside the frame
# Wine may draw). Its balloons are untitled explorer.exe windows too, and
# larger: of those, the smallest is the tray. Callers that look for
# balloons keep the tray's id from a moment when none is shown.
qlx_tray_window() {
  local id name pid area best= best_area=
  for id in $(xdotool search --name '^Wine System Tray$' 2>/dev/null) \
    $(xdotool search --onlyvisible --class '^explorer\.exe$' 2>/dev/null); do
    name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
    [[ -z $name || $name == "Wine System Tray" ]] || continue
    if [[ -n ${1:-} ]]; then
      pid=$(xdotool getwindowpid "$id" 2>/dev/null) || continue
      { tr '\0' '\n' <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$1"; } 2>/dev/null || continue
    fi
    if [[ $name == "Wine System Tray" ]]; then
      echo "$id"
      return 0
    fi
    area=$(xdotool getwindowgeometry "$id" 2>/dev/null | awk '/Geometry:/ { split($2, a, "x"); print a[1] * a[2] }')
    [[ -n $area ]] || continue
    if [[ -z $best ]] || ((area < best_area)); then
      best=$id best_area=$area
    fi
  done
  [[ -n $best ]] && echo "$best"
}

# qlx_install_system_exe PREFIX FILE NAME: FILE as NAME in the prefix's
# system folder. A 32-bit program's system32 is SysWOW64 (WoW64's file
# system redirection), so a prefix that has one gets a copy there too.
qlx_install_system_exe() {
  local folder
  for folder in system32 syswow64; do
    [[ $folder == system32 || -d $1/drive_c/windows/$folder ]] || continue
    cp "$2" "$1/drive_c/windows/$folder/$3"
  done
}
