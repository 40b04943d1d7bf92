#!/usr/bin/env bash
# The MSI under Wine 10's WoW64 (the 32-bit package of the shipped program),
# in a prefix of its own, with packages the test makes with the release's
# own script from the built exes: one of this version and one of the
# version before it, whose exes differ, so that an upgrade shows in the
# files. A silent install of the earlier one puts the files, the shortcut
# and the installed-programs entry in place; the user's settings are saved
# with the installed qlxctl; the later one upgrades it, leaving one entry
# and the new files; the installed program starts and shows its tray icon;
# the earlier one over the later is refused and changes nothing, and so does
# another package of the same version; the silent
# uninstall removes the files, the shortcut and the entry, and qlxctl still
# reads the settings.
# usage: msi_e2e.sh VERSION QLXDrive.exe qlxctl.exe qlx_wintool.exe
set -uo pipefail
[[ $# -eq 4 ]] || {
  echo "usage: $0 VERSION QLXDrive.exe qlxctl.exe qlx_wintool.exe" >&2
  exit 2
}
version=$1 program=$2 qlxctl=$3 wintool=$4
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
session_name=msi-e2e
# shellcheck source=tests/installer/wine_session.sh
. "$ROOT/tests/installer/wine_session.sh"
dos() { "$WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# The version before this one: the last number lowered, or the one before.
IFS=. read -r major minor patch <<<"$version"
if ((patch > 0)); then
  previous=$major.$minor.$((patch - 1))
elif ((minor > 0)); then
  previous=$major.$((minor - 1)).0
else
  previous=$((major - 1)).0.0
fi

step "packages $previous and $version"
# Unsigned, as a build without a certificate makes them; the signing has
# its own test.
unset QLX_SIGNING_CERTIFICATE QLX_SIGNING_PASSWORD_FILE QLX_TIMESTAMP_URL
mkdir -p "$work/old-exes"
cp "$program" "$qlxctl" "$work/old-exes/"
printf 'older' >>"$work/old-exes/$(basename "$program")"
printf 'older' >>"$work/old-exes/$(basename "$qlxctl")"
make_packages() {  # folder version QLXDrive.exe qlxctl.exe
  bash "$ROOT/installer/make-release.sh" "$1" "$2" "$3" "$4" "$ROOT/res/qlxdrive.ico" "$ROOT" >/dev/null
}
make_packages "$work/new" "$version" "$program" "$qlxctl" || { echo "could not make the $version package" >&2; exit 1; }
make_packages "$work/old" "$previous" "$work/old-exes/"* || { echo "could not make the $previous package" >&2; exit 1; }
new_msi=$work/new/QLXDrive-$version.msi
old_msi=$work/old/QLXDrive-$previous.msi
upgrade_code=$(sed -n 's/^UPGRADE_CODE=//p' "$ROOT/installer/make-release.sh")
new_code="{$(python3 "$ROOT/installer/msi_summary.py" product-code "$upgrade_code" "$version")}"
old_code="{$(python3 "$ROOT/installer/msi_summary.py" product-code "$upgrade_code" "$previous")}"
[[ $new_code != "$old_code" ]] || fail "versions $previous and $version have the same product code"

step "Wine prefix"
boot_prefix "$work/prefix" "$work/wine.out" "winemenubuilder.exe=d" || {
  echo "wineboot failed" >&2
  exit 1
}
program_files_dos=$("$WINE" cmd /c echo '%ProgramFiles(x86)%' 2>/dev/null | tr -d '\r')
programs_common=$(unix_path "$("$WINE" cmd /c echo %ProgramData% 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs")
programs_user=$(unix_path "$("$WINE" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs")
inst_dos="$program_files_dos\\QLXDrive"
inst=$(unix_path "$inst_dos")
[[ -n $program_files_dos && -n $inst && -n $programs_common ]] || { echo "could not read the prefix's folders" >&2; exit 1; }
echo "install folder: $inst_dos ($inst)"
# WoW64: a 32-bit package's entry is in the registry's 32-bit view.
uninstall_key='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'

# msiexec's exit code. Wine hands a Windows exit code to Linux modulo 256:
# 1603 arrives as 67.
msiexec() {  # log-name arguments...
  local log=$1
  shift
  "$WINE" msiexec "$@" /qn /l*v "$(dos "$work/$log.log")" >>"$work/wine.out" 2>>"$work/wine.err"
}
expect_exit() {  # what windows-code actual
  (($3 == $2 % 256)) || fail "$1 exited $3, expected $2 (as $(($2 % 256)) under Wine)"
}
# The entries of installed programs named QLXDrive, one "key version" a line.
entries() {
  "$WINE" reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | awk '
    /^HKEY_/ { key = $0; sub(/.*\\/, "", key); name = ""; ver = "" }
    $1 == "DisplayName" { name = $3 }
    $1 == "DisplayVersion" && name == "QLXDrive" { print key, $3 }'
}
entry_value() {  # product-code value-name
  "$WINE" reg query "$uninstall_key\\$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v n="$2" '$1 == n { sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print; found = 1 } END { exit !found }'
}
same_files() {  # label folder-with-the-expected-exes
  cmp -s "$2/QLXDrive.exe" "$inst/QLXDrive.exe" || fail "$1: the installed QLXDrive.exe is not the package's"
  cmp -s "$2/qlxctl.exe" "$inst/qlxctl.exe" || fail "$1: the installed qlxctl.exe is not the package's"
}
shortcut=
find_shortcut() {
  local dir
  for dir in "$programs_common" "$programs_user"; do
    [[ -f $dir/QLXDrive.lnk ]] && { shortcut=$dir/QLXDrive.lnk; return 0; }
  done
  return 1
}

# --- the earlier version, silently --------------------------------------
step "install $previous"
msiexec install-old /i "$(dos "$old_msi")"
expect_exit "msiexec /i $previous" 0 $?
same_files "install $previous" "$work/old"
[[ $(entries) == "$old_code $previous" ]] || fail "installed programs after $previous: [$(entries)], expected [$old_code $previous]"

step "settings saved with the installed qlxctl"
printf 'pw\n' | "$WINE" "$inst/qlxctl.exe" save --drive Q: --user mario \
  >>"$work/wine.out" 2>>"$work/wine.err" || fail "the installed qlxctl save exited $?"

# --- the major upgrade ---------------------------------------------------
step "upgrade to $version"
msiexec upgrade /i "$(dos "$new_msi")"
expect_exit "msiexec /i $version over $previous" 0 $?
same_files "upgrade" "$work/new"
[[ $(entries) == "$new_code $version" ]] || fail "installed programs after the upgrade: [$(entries)], expected only [$new_code $version]"
[[ $(ls -A "$inst" | tr '\n' ' ') == "QLXDrive.exe qlxctl.exe " ]] || fail "the install folder holds [$(ls -A "$inst")]"
for expect in "Publisher=PELMORA" "DisplayVersion=$version" "UninstallString=MsiExec.exe /X$new_code" "NoModify=0x1"; do
  value=$(entry_value "$new_code" "${expect%%=*}") || { fail "entry: no ${expect%%=*}"; continue; }
  [[ "${expect%%=*}=$value" == "$expect" ]] || fail "entry: ${expect%%=*} is [$value], expected [${expect#*=}]"
done
# The entry's icon: Windows shows the one the package caches as its
# ARPPRODUCTICON (Wine caches it without naming it in the entry).
icon=$WINEPREFIX/drive_c/windows/Installer/$new_code/QLXDrive.ico
cmp -s "$icon" "$ROOT/res/qlxdrive.ico" || fail "the entry's icon is not the program's ($icon)"
find_shortcut || fail "no Start-menu shortcut in $programs_common or $programs_user"
if [[ -n $shortcut ]]; then
  # Wine resolves the all-users Start menu of a per-machine package to the
  # user's; Windows puts the shortcut in the common one.
  [[ $shortcut == "$programs_common"/* ]] || echo "note: Wine put the shortcut in the user's Start menu"
  strings -a "$shortcut" | grep -qiF "$inst_dos\\QLXDrive.exe" || fail "the shortcut does not point at $inst_dos\\QLXDrive.exe"
fi

# --- the installed program starts -----------------------------------------
step "the installed program starts"
"$WINE" "$inst/QLXDrive.exe" >>"$work/wine.out" 2>>"$work/wine.err" &
pid=$(wtool wait QLXDriveTray 30000) || fail "the installed program has no tray window"
tray=
find_tray() { tray=$(qlx_tray_window "$WINEPREFIX") && [[ -n $tray ]]; }
wait_until 30 find_tray || fail "no notification area with the program's icon appeared"
screenshot running
w taskkill /f /im QLXDrive.exe
[[ -z $pid ]] || wtool ended "$pid" 10000 || fail "the program did not end"

# --- no downgrade ------------------------------------------------------------
step "$previous over $version is refused"
msiexec downgrade /i "$(dos "$old_msi")"
expect_exit "msiexec /i $previous over $version" 1603 $?
grep -aq "WIX_DOWNGRADE_DETECTED = $new_code" "$work/downgrade.log" || fail "the refused downgrade's log does not name the later version"
same_files "refused downgrade" "$work/new"
[[ $(entries) == "$new_code $version" ]] || fail "installed programs after the refused downgrade: [$(entries)]"

step "another package of $version over $version changes nothing"
# Windows refuses it with 1638; Wine installs nothing and exits 0.
make_packages "$work/same" "$version" "$work/old-exes/"* || fail "could not make the other $version package"
msiexec same-version /i "$(dos "$work/same/QLXDrive-$version.msi")"
status=$?
((status == 0 || status == 1638 % 256)) || fail "msiexec /i of another $version package exited $status"
same_files "another package of the same version" "$work/new"
[[ $(entries) == "$new_code $version" ]] || fail "installed programs after another $version package: [$(entries)]"

# --- silent uninstall ------------------------------------------------------
step "uninstall"
msiexec uninstall /x "$(dos "$new_msi")"
expect_exit "msiexec /x" 0 $?
[[ ! -e $inst ]] || fail "the uninstall left $inst: $(ls -A "$inst")"
[[ -z $shortcut || ! -e $shortcut ]] || fail "the uninstall left the shortcut"
[[ -z $(entries) ]] || fail "the uninstall left the entry: $(entries)"
settings=$("$WINE" "$qlxctl" load --show-password 2>>"$work/wine.err" | tr -d '\r')
for expect in "PathDrive=Q:" "User=mario" "Password=pw"; do
  grep -qxF "$expect" <<<"$settings" || fail "after the uninstall qlxctl does not read $expect: [$settings]"
done

finish_checks "all MSI checks passed" wine_output
