#!/usr/bin/env bash
# The setup exe under wine64, in a prefix of its own (it installs, writes
# the Run entry and runs the program, which the other tests' prefix must
# not see): a copy that will not close stops the installer; a silent install
# puts the files, the shortcut and the installed-programs entry in place;
# the installed program starts; qlxctl's save with --autorun names the
# installed program in the Run entry; an upgrade while the program runs
# closes it without NET USE, replaces the files, keeps the settings and
# starts it again, also when its dialog is open; the silent uninstall ends
# it and removes the Run entry, the files, the shortcut and the entry, and
# keeps the settings; /D= and /REMOVESETTINGS.
# usage: installer_e2e.sh SETUP VERSION QLXDrive.exe qlxctl.exe qlx_wintool.exe [standin net.exe]
set -uo pipefail
[[ $# -ge 5 ]] || {
  echo "usage: $0 SETUP VERSION QLXDrive.exe qlxctl.exe qlx_wintool.exe [net.exe stand-in]" >&2
  exit 2
}
setup=$1 version=$2 program=$3 qlxctl=$4 wintool=$5 standin_net=${6:-}
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
session_name=installer-e2e
# shellcheck source=tests/installer/wine_session.sh
. "$ROOT/tests/installer/wine_session.sh"
# The value NAME of KEY from `reg export` (UTF-16 text): a string unescaped,
# a DWORD as dword:XXXXXXXX; nothing and status 1 when absent.
reg_value() {
  rm -f "$WINEPREFIX/drive_c/export.reg"
  w reg export "$1" 'C:\export.reg' /y || return 1
  utf16_text "$WINEPREFIX/drive_c/export.reg" |
    awk -v name="\"$2\"=" 'index($0, name) == 1 {
      v = substr($0, length(name) + 1)
      if (v ~ /^"/) { v = substr(v, 2, length(v) - 2); gsub(/\\"/, "\"", v); gsub(/\\\\/, "\\", v) }
      print v; found = 1 }
      END { exit !found }'
}
key_exists() { w reg query "$1"; }

settings_key='HKCU\Software\PELMORA\QLXDrive'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
entry_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\QLXDrive'

step "Wine prefix"
# No desktop entries in the host's home for what gets installed; the
# stand-in net.exe, when there is one, in place of Wine's.
boot_prefix "$work/prefix" "$work/wine.out" "winemenubuilder.exe=d;net.exe=n" || {
  echo "wineboot failed" >&2
  exit 1
}
local_dos=$("$WINE" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
appdata_dos=$("$WINE" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
inst_dos="$local_dos\\Programs\\QLXDrive"
inst=$(unix_path "$inst_dos")
shortcut=$(unix_path "$appdata_dos\\Microsoft\\Windows\\Start Menu\\Programs")/QLXDrive.lnk
setup_dos=$("$WINE" winepath -w "$setup" 2>/dev/null | tr -d '\r')
[[ -n $local_dos && -n $inst && -n $setup_dos ]] || { echo "could not read the prefix's folders" >&2; exit 1; }
echo "install folder: $inst_dos ($inst)"

# The stand-in logs every NET USE the programs run.
standin=$work/standin
mkdir -p "$standin"
export QLX_STANDIN_DIR
QLX_STANDIN_DIR=$("$WINE" winepath -w "$standin" 2>/dev/null | tr -d '\r')
if [[ -n $standin_net ]]; then
  qlx_install_system_exe "$WINEPREFIX" "$standin_net" net.exe
else
  echo "no stand-in net.exe: whether closing the program ran NET USE is not checked"
fi
no_net_use() {
  [[ -z $standin_net || ! -s $standin/net.log ]] || fail "$1: NET USE ran: $(cat "$standin/net.log")"
}

# Files as built; the setup's copies must be these.
same_files() {  # label folder
  cmp -s "$program" "$2/QLXDrive.exe" || fail "$1: QLXDrive.exe is not the built one"
  cmp -s "$qlxctl" "$2/qlxctl.exe" || fail "$1: qlxctl.exe is not the built one"
  [[ -f $2/uninstall.exe ]] || fail "$1: no uninstall.exe"
}
# Runs the uninstaller the way the installed-programs list does (it hands
# over to a copy of itself and returns at once), then waits for its end:
# the entry goes last.
uninstall() {  # folder(dos) [options]
  local folder=$1
  shift
  local unix
  unix=$(unix_path "$folder")
  w "$unix/uninstall.exe" /S "$@" || fail "uninstall.exe $* exited $?"
  # The uninstaller runs on from a copy of itself after uninstall.exe has
  # exited, and under Wine a deleted file may stay visible until the last
  # process that had it open is gone: the whole outcome is waited for.
  uninstalled() { ! key_exists "$entry_key" && [[ ! -e $unix ]]; }
  wait_until 120 uninstalled && return 0
  key_exists "$entry_key" && fail "uninstall $*: the entry is still there after 120 s"
  [[ ! -e $unix ]] || fail "uninstall $*: $folder is still there after 120 s: $(ls -A "$unix")"
  return 1
}

# --- a copy that will not close stops the installer -----------------------
step "a running copy that ignores the close request"
"$WINE" "$wintool" hold TfmDrive >>"$work/wine.out" 2>>"$work/wine.err" &
holder=$!
wtool wait TfmDrive 30000 >/dev/null || fail "the stubborn window did not appear"
t0=$SECONDS
w "$setup" /S
status=$?
[[ $status == 2 ]] || fail "setup with a copy that will not close exited $status, expected 2"
[[ ! -e $inst/QLXDrive.exe ]] || fail "setup installed although the running copy stayed"
key_exists "$entry_key" && fail "setup wrote the installed-programs entry although it gave up"
echo "gave up after $((SECONDS - t0)) s"
wtool release TfmDrive >/dev/null
wait "$holder" || fail "the stubborn window's tool exited $?"

# --- silent install ------------------------------------------------------
step "silent install"
w "$setup" /S || fail "setup /S exited $?"
same_files "install" "$inst"
[[ -f $shortcut ]] || fail "no Start-menu shortcut at $shortcut"
strings -a "$shortcut" | grep -qxF "$inst_dos\\QLXDrive.exe" || fail "the shortcut does not point at $inst_dos\\QLXDrive.exe"
check_entry() {  # folder(dos)
  local expect value
  for expect in "DisplayName=QLXDrive" "DisplayVersion=$version" "Publisher=PELMORA" \
    "DisplayIcon=$1\\QLXDrive.exe,0" "InstallLocation=$1" \
    "UninstallString=\"$1\\uninstall.exe\"" "QuietUninstallString=\"$1\\uninstall.exe\" /S" \
    "NoModify=dword:00000001" "NoRepair=dword:00000001"; do
    value=$(reg_value "$entry_key" "${expect%%=*}") || { fail "entry: no ${expect%%=*}"; continue; }
    [[ "${expect%%=*}=$value" == "$expect" ]] || fail "entry: ${expect%%=*} is [$value], expected [${expect#*=}]"
  done
  # The size in KiB of what was installed, give or take the rounding.
  local size kib
  size=$(reg_value "$entry_key" EstimatedSize) || fail "entry: no EstimatedSize"
  kib=$(($(du -b --apparent-size -c "$(unix_path "$1")"/* | tail -n1 | cut -f1) / 1024))
  size=$((16#${size#dword:}))
  ((size >= kib - 4 && size <= kib + 4)) || fail "entry: EstimatedSize $size KiB, the files make $kib KiB"
}
check_entry "$inst_dos"
key_exists "$settings_key" && fail "the installer made a settings key"

# --- settings with autorun, saved by the installed qlxctl --------------------
step "qlxctl save --autorun from the installed folder"
printf 'pw\n' | "$WINE" "$inst/qlxctl.exe" save --drive Q: --user mario --autorun \
  >>"$work/wine.out" 2>>"$work/wine.err" || fail "qlxctl save exited $?"
run_entry=$(reg_value "$run_key" QLXDrive) || fail "no Run entry after the save"
[[ $run_entry == "$inst_dos\\QLXDrive.exe" ]] || fail "Run entry [$run_entry], expected [$inst_dos\\QLXDrive.exe]"
w reg query "$settings_key" || fail "no settings key after the save"
"$WINE" reg query "$settings_key" 2>/dev/null | tr -d '\r' >"$work/settings.before"
grep -q PASSWORD "$work/settings.before" || fail "the settings key holds no PASSWORD"

# The stand-in must see a NET USE where one runs, or its silence later on
# would prove nothing.
if [[ -n $standin_net ]]; then
  "$WINE" "$inst/qlxctl.exe" disconnect >>"$work/wine.out" 2>>"$work/wine.err" || fail "qlxctl disconnect exited $?"
  grep -qi 'use Q: /DELETE' "$standin/net.log" 2>/dev/null ||
    fail "the stand-in net.exe logged no NET USE Q: /DELETE for qlxctl disconnect"
  rm -f "$standin/net.log"
fi

# --- the installed program starts ------------------------------------------
step "the installed program starts"
"$WINE" "$inst/QLXDrive.exe" >>"$work/wine.out" 2>>"$work/wine.err" &
first_pid=$(wtool wait TfmDrive 30000) || fail "the installed program showed no main window"
wtool wait QLXDriveTray 30000 >/dev/null || fail "the installed program has no tray window"
screenshot running

# --- upgrade over an older version while it runs ------------------------------
step "upgrade while the program runs"
# What an older version left: another version in the entry, other files.
w reg add "$entry_key" /v DisplayVersion /d 0.9.0 /f || fail "reg add"
printf 'older' >>"$inst/qlxctl.exe"
printf 'older' >>"$inst/QLXDrive.exe"  # from the Unix side: Wine's lock on a running exe does not reach here
w "$setup" /S || fail "the upgrade exited $?"
[[ -n $first_pid ]] && { wtool ended "$first_pid" 10000 || fail "the old program still runs after the upgrade"; }
second_pid=$(wtool wait TfmDrive 30000) || fail "the upgrade did not start the program again"
[[ -n $second_pid && $second_pid != "$first_pid" ]] || fail "no new program process after the upgrade ($first_pid/$second_pid)"
same_files "upgrade" "$inst"
[[ $(reg_value "$entry_key" DisplayVersion) == "$version" ]] || fail "the upgrade left DisplayVersion at [$(reg_value "$entry_key" DisplayVersion)]"
"$WINE" reg query "$settings_key" 2>/dev/null | tr -d '\r' >"$work/settings.after"
cmp -s "$work/settings.before" "$work/settings.after" || fail "the upgrade changed the settings"
[[ $(reg_value "$run_key" QLXDrive) == "$inst_dos\\QLXDrive.exe" ]] || fail "the upgrade changed the Run entry"
no_net_use "upgrade"
screenshot upgraded

# --- upgrade while the parameters dialog is open -----------------------------
step "upgrade while the program's dialog is open"
# The icon sits in Wine's own tray window (the bare display has no tray
# manager); a right-click opens the program's menu, whose first item is
# "Parametri".
find_tray() {  # this prefix's tray window, in $tray
  tray=$(qlx_tray_window "$WINEPREFIX") || tray=
  [[ -n $tray ]]
}
open_dialog() {
  tray=
  wait_until 30 find_tray || return 1
  # A click that comes while the display is busy may be lost: a few tries.
  for _ in 1 2 3; do
    xdotool mousemove --window "$tray" 10 10 click 3
    wtool wait '#32768' 5000 >/dev/null || continue  # the popup menu
    xdotool key Down Return
    wtool visible TfmDrive 10000 && return 0
  done
  return 1
}
if open_dialog; then
  screenshot dialog
  w "$setup" /S || fail "the upgrade with the dialog open exited $?"
  [[ -n $second_pid ]] && { wtool ended "$second_pid" 10000 || fail "the program with its dialog open still runs after the upgrade"; }
  third_pid=$(wtool wait TfmDrive 30000) || fail "the upgrade with the dialog open did not start the program again"
  [[ -n $third_pid && $third_pid != "$second_pid" ]] || fail "no new program process after the upgrade with the dialog open"
  second_pid=$third_pid
  same_files "upgrade with the dialog open" "$inst"
  no_net_use "upgrade with the dialog open"
else
  fail "could not open the program's dialog from its tray menu"
fi

# --- silent uninstall while it runs ---------------------------------------
step "silent uninstall while the program runs"
uninstall "$inst_dos"
[[ -n $second_pid ]] && { wtool ended "$second_pid" 10000 || fail "the program still runs after the uninstall"; }
wtool absent TfmDrive 1000 || fail "a program window is left after the uninstall"
reg_value "$run_key" QLXDrive >/dev/null && fail "the uninstall left the Run entry"
[[ ! -e $shortcut ]] || fail "the uninstall left the shortcut"
"$WINE" reg query "$settings_key" 2>/dev/null | tr -d '\r' >"$work/settings.after"
cmp -s "$work/settings.before" "$work/settings.after" || fail "the uninstall did not keep the settings as they were"
no_net_use "uninstall"

# --- /D=, an upgrade that finds the folder, /REMOVESETTINGS ------------------
step "install with /D= into a folder with a blank and an accent"
other_dos='C:\qlx prova è\QLXDrive'
other=$(unix_path "$other_dos")
# /D= must be the last part of the command line and unquoted: the line is
# handed over as it is.
wtool run 120000 "\"$setup_dos\" /S /D=$other_dos" >/dev/null || fail "setup /S /D= exited $?"
same_files "/D=" "$other"
[[ ! -e $inst ]] || fail "setup /D= also wrote $inst"
check_entry "$other_dos"
printf 'pw\n' | "$WINE" "$other/qlxctl.exe" save --drive Q: --user mario --autorun \
  >>"$work/wine.out" 2>>"$work/wine.err" || fail "qlxctl save exited $?"
run_entry=$(reg_value "$run_key" QLXDrive)
[[ $run_entry == "\"$other_dos\\QLXDrive.exe\"" ]] || fail "Run entry [$run_entry], expected [\"$other_dos\\QLXDrive.exe\"]"
w "$setup" /S || fail "setup /S over the /D= installation exited $?"
[[ ! -e $inst ]] || fail "an upgrade without /D= went to $inst, not to the installed folder"
same_files "upgrade of the /D= installation" "$other"

step "uninstall with /REMOVESETTINGS"
uninstall "$other_dos" /REMOVESETTINGS
key_exists "$settings_key" && fail "/REMOVESETTINGS left the settings key"
key_exists 'HKCU\Software\PELMORA' && fail "/REMOVESETTINGS left the empty PELMORA key"
reg_value "$run_key" QLXDrive >/dev/null && fail "the uninstall left the Run entry"

finish_checks "all installer checks passed" wine_output
