#!/usr/bin/env bash
# qlxctl.exe end to end under Wine, against the prefix's real registry:
# protect/reveal, save/load, a .reg file from `qlxctl reg` imported with
# `reg import`, the Run entry, and non-ASCII names on the command line.
# usage: qlxctl_e2e.sh <qlxctl.exe> <wine-run.sh>
set -uo pipefail
qlxctl=$1
run=$2
# shellcheck source=tests/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../lib.sh"
require_prefix
export LC_ALL=C.UTF-8  # arguments reach wmain as UTF-16 through the UTF-8 code page

settings='HKCU\Software\PELMORA\QLXDrive'
runkey='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
work="$WINEPREFIX/drive_c/qlxctl e2e"  # a blank in the folder, as "Program Files" has
work_dos='C:\qlxctl e2e'

q() { "$run" "$qlxctl" "$@"; }
wreg() { "$run" reg "$@" >/dev/null 2>&1; }
reset_registry() {
  wreg delete "$settings" /f
  wreg delete "$runkey" /v QLXDrive /f
}
# `reg export` writes UTF-16LE; read it as UTF-8 lines without CR.
exported() {
  rm -f "$work/export.reg"
  wreg export "$1" "$work_dos\\export.reg" /y || return 1
  utf16_text "$work/export.reg"
}
load_expect() {  # label, expected output of `load --show-password` (LF lines)
  local got
  got=$(q load --show-password | tr -d '\r') || { fail "$1: load failed"; return; }
  [[ "$got" == "$2" ]] || fail "$1: load gave [$got], expected [$2]"
}

rm -rf "$work"
mkdir -p "$work"
reset_registry

# --- protect / reveal -------------------------------------------------------
long=$(printf '%0163d' 0)
texts=("" "S" "Z:" "$(printf '%035d' 7)" "$long" "Zoë Müller 日本 😀" $'riga1\r\nriga2\n' "  blank  ")
lengths=(0 16 24 82 312 - - -)
for i in "${!texts[@]}"; do
  text=${texts[$i]}
  printf '%s' "$text" >"$work/plain"
  if ! q protect <"$work/plain" >"$work/stored"; then
    fail "protect #$i exited $?"
    continue
  fi
  [[ ${lengths[$i]} == - || $(stat -c %s "$work/stored") == "${lengths[$i]}" ]] ||
    fail "protect #$i: $(stat -c %s "$work/stored") characters, expected ${lengths[$i]}"
  if LC_ALL=C grep -q $'[^A-Za-z0-9+/=\r]' "$work/stored"; then fail "protect #$i: stray characters"; fi
  q reveal <"$work/stored" >"$work/back" || fail "reveal #$i exited $?"
  cmp -s "$work/plain" "$work/back" || fail "reveal #$i: [$(cat "$work/back")] is not [$text]"
  # The line breaks are not part of the data.
  tr -d '\r\n' <"$work/stored" | q reveal >"$work/back" || fail "reveal #$i without line breaks exited $?"
  cmp -s "$work/plain" "$work/back" || fail "reveal #$i without line breaks differs"
done
printf 'Z:' | q protect >"$work/a" && printf 'Z:' | q protect >"$work/b"
cmp -s "$work/a" "$work/b" && fail "two protections of one text are equal"
# "/w==" decodes to the byte FF, which is no UTF-8.
printf '/w==' | q reveal >/dev/null 2>"$work/err"
status=$?
[[ $status == 1 ]] || fail "reveal of a damaged string exited $status"
grep -qx 'No mapping for the Unicode character exists in the target multi-byte code page' "$work/err" ||
  fail "reveal of a damaged string said [$(cat "$work/err")]"

# --- save, then load ----------------------------------------------------------
user='Zoë Ångström-日本 😀'
password='pässwörd €1'
printf '%s\n' "$password" | q save --drive Z: --user "$user" --autoconnect || fail "save exited $?"
load_expect "save/load" "PathDrive=Z:
User=$user
Password=$password
AutoConnect=S
AutoRun=N"
masked=$(q load | tr -d '\r' | grep '^Password=')
[[ $masked == 'Password=***' ]] || fail "load without --show-password printed [$masked]"
dump=$(exported "$settings") || fail "reg export of the settings key"
for name in PATHDRIVE ConfigIniFilesPath USER PASSWORD AUTOCONNECT AUTORUN; do
  grep -q "^\"$name\"=" <<<"$dump" || fail "value $name missing from the settings key"
done
for secret in "$password" "$user" "pässwörd"; do
  grep -qF "$secret" <<<"$dump" && fail "[$secret] stored in clear"
done
# No Run entry was there, and none is made without --autorun.
exported "$runkey" | grep -q '^"QLXDrive"=' && fail "save without --autorun made a Run entry"

# --- the Run entry, with the program beside qlxctl.exe in a folder with a blank
cp "$qlxctl" "$work/qlxctl.exe"
printf 'pw\n' | "$run" "$work/qlxctl.exe" save --drive Y: --user mario --autorun || fail "save --autorun exited $?"
entry=$(exported "$runkey" | grep '^"QLXDrive"=')
expected_entry='"QLXDrive"="\"C:\\qlxctl e2e\\QLXDrive.exe\""'
[[ $entry == "$expected_entry" ]] || fail "Run entry [$entry], expected [$expected_entry]"
config=$(exported "$settings" | grep -c 'qlxctl e2e')
[[ $config == 0 ]] || fail "the program path is in clear in the settings key"
printf 'pw\n' | "$run" "$work/qlxctl.exe" save --drive Y: --user mario || fail "save without --autorun exited $?"
entry=$(exported "$runkey" | grep '^"QLXDrive"=')
[[ $entry == '"QLXDrive"=""' ]] || fail "cleared Run entry is [$entry]"
load_expect "after clearing" "PathDrive=Y:
User=mario
Password=pw
AutoConnect=N
AutoRun=N"

# --- a .reg file from `qlxctl reg`, imported with `reg import` ------------------
reset_registry
program='C:\Program Files\QLX Drive\QLXDrive.exe'
printf '%s\r\n' "$password" |
  q reg --drive X: --user "$user" --program "$program" --autoconnect --autorun >"$work/settings.reg" ||
  fail "reg exited $?"
wreg import "$work_dos\\settings.reg" || fail "reg import refused the file"
load_expect "reg import/load" "PathDrive=X:
User=$user
Password=$password
AutoConnect=S
AutoRun=S"
entry=$(exported "$runkey" | grep '^"QLXDrive"=')
[[ $entry == '"QLXDrive"="\"C:\\Program Files\\QLX Drive\\QLXDrive.exe\""' ]] || fail "imported Run entry [$entry]"

# --- a value of the wrong type fails the load with the registry layer's text ---
wreg add "$settings" /v USER /t REG_DWORD /d 5 /f || fail "reg add"
q load >/dev/null 2>"$work/err"
status=$?
[[ $status == 1 ]] || fail "load of a REG_DWORD USER exited $status"
grep -qx "Invalid data type for 'USER'" "$work/err" || fail "load of a REG_DWORD USER said [$(cat "$work/err")]"

reset_registry
rm -rf "$work"
finish_checks "all qlxctl checks passed"
