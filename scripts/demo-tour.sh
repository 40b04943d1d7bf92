#!/usr/bin/env bash
# scripts/demo-tour.sh: the scripted walk through of `scripts/run.sh --tour`.
# run.sh has built the program, started the WebDAV server and a private Xvfb
# (DISPLAY), and prepared the tour's Wine prefix (WINEPREFIX, the stand-in
# net.exe, QLX_DEMO_DAV_ROOT); it passes DEMO_DIR, DEMO_USER, DEMO_PASSWORD,
# DEMO_DOMAIN, BASE_URL and QLX_TOUR_DIR.
#
# Every step waits for what it expects with a deadline, never a fixed
# sleep, and leaves a screenshot QLX_TOUR_DIR/NN-name.png. The first step
# that fails ends the tour with status 1 (its screenshot is NN-failed-name).
set -uo pipefail
: "${DISPLAY:?}" "${WINEPREFIX:?}" "${DEMO_DIR:?}" "${DEMO_USER:?}" "${DEMO_PASSWORD:?}" "${QLX_TOUR_DIR:?}"

# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
WINE=${QLX_WINE:-$QLX_HOST_WINE}
DRIVE=Q:
WRONG_PASSWORD=sbagliata
TOUR=$QLX_TOUR_DIR
mkdir -p "$TOUR"
rm -f "$TOUR"/*.png "$TOUR/net.log" "$TOUR/qlxdrive.log"
export QLX_DEMO_NET_LOG="Z:${TOUR//\//\\}\\net.log"
NET_LOG=$TOUR/net.log

STEP=0
STEP_NAME=start
step() {  # starts a numbered step
  STEP=$((STEP + 1))
  STEP_NAME=$1
  printf 'tour %02d %s: %s\n' "$STEP" "$1" "$2"
}
# settled_capture FILE IMPORT-ARGS...: the screen once it has stopped
# changing (two captures alike, at most 5 s), so that no picture shows a
# window half painted or a stacking order still settling.
settled_capture() {
  local file=$1 deadline=$((SECONDS + 5))
  shift
  import "$@" -strip "$file" 2>/dev/null
  while ((SECONDS < deadline)); do
    sleep 0.2
    import "$@" -strip "$file.next.png" 2>/dev/null
    if cmp -s "$file" "$file.next.png"; then
      break
    fi
    mv "$file.next.png" "$file"
  done
  rm -f "$file.next.png"
}
shot() { settled_capture "$TOUR/$(printf %02d "$STEP")-$1.png" -window root; }
# picture NAME GEOMETRY|window-id: the README's pictures, a part of the screen
# (WxH+X+Y) or one window.
picture() {
  if [[ $2 == *x* ]]; then
    settled_capture "$TOUR/$1.png" -window root -crop "$2" +repage
  else
    settled_capture "$TOUR/$1.png" -window "$2"
  fi
}
fail() {
  shot "failed-$STEP_NAME"
  printf 'tour %02d %s FAILED: %s\n' "$STEP" "$STEP_NAME" "$*" >&2
  if [[ -s $NET_LOG ]]; then
    echo "net.exe log:" >&2
    cat "$NET_LOG" >&2
  fi
  exit 1
}
# wait_for SECONDS WHAT COMMAND...: polls COMMAND until it succeeds.
wait_for() {
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    ((SECONDS < deadline)) || fail "no $what within the time limit"
    sleep 0.2
  done
}

# ------------------------------------------------------------- what is seen

TRAY=
# The tray, found once (before any balloon, which looks much like it under
# Wine 10) and kept.
tray_window() {
  if [[ -z $TRAY ]] || ! xdotool getwindowname "$TRAY" >/dev/null 2>&1; then
    TRAY=$(qlx_tray_window "$WINEPREFIX") || TRAY=
  fi
  echo "$TRAY"
}
tray_shown() { [[ -n $(tray_window) ]]; }
# visible windows of a program (class = its file name) with the given title
windows_of() { xdotool search --onlyvisible --class "$1" 2>/dev/null; }
height_of() { xdotool getwindowgeometry "$1" 2>/dev/null | awk '/Geometry:/ {split($2, a, "x"); print a[2]}'; }
# An untitled window of the program taller than a menu bar: its popup menu.
menu_window() {
  local w
  for w in $(windows_of '^QLXDrive\.exe$'); do
    [[ -z $(xdotool getwindowname "$w" 2>/dev/null) && $(height_of "$w") -gt 40 ]] && {
      echo "$w"
      return 0
    }
  done
  return 1
}
menu_shown() { [[ -n $(menu_window) ]]; }
menu_gone() { ! menu_shown; }
dialog_window() { xdotool search --onlyvisible --name '^Parametri di connessione$' 2>/dev/null | head -n 1; }
dialog_shown() { [[ -n $(dialog_window) ]]; }
dialog_gone() { ! dialog_shown; }
# The balloon: an untitled window of Wine's tray process, other than the tray.
balloon_shown() {
  local w tray
  tray=$(tray_window)
  for w in $(windows_of '^explorer\.exe$'); do
    [[ $w != "$tray" && -z $(xdotool getwindowname "$w" 2>/dev/null) ]] && return 0
  done
  return 1
}
balloon_gone() { ! balloon_shown; }
# Wine's file browser on the drive: a titled explorer.exe window other than the tray.
browser_window() {
  local w name
  for w in $(windows_of '^explorer\.exe$'); do
    name=$(xdotool getwindowname "$w" 2>/dev/null)
    [[ -n $name && $name != "Wine System Tray" && $name != "Default IME" ]] && {
      echo "$w"
      return 0
    }
  done
  return 1
}
browser_shown() { [[ -n $(browser_window) ]]; }
net_lines() { [[ -f $NET_LOG ]] && grep -c '' "$NET_LOG" || echo 0; }
net_line_count_is_above() { (($(net_lines) > $1)); }
program_running() { kill -0 "$PROGRAM_PID" 2>/dev/null; }
program_ended() { ! program_running; }
drive_listing() { "$WINE" cmd /c dir /b "$DRIVE\\" 2>/dev/null | tr -d '\r' | sort | tr '\n' ' '; }

# ------------------------------------------------------------------ actions

open_tray_menu() {
  local tray
  tray=$(tray_window)
  [[ -n $tray ]] || fail "no tray"
  # The program's icon is the first one in Wine's tray bar, which another
  # window may cover.
  # When Wine draws frames the bar has a title bar: the icons are in its
  # bottom row, 20 pixels high.
  xdotool windowraise "$tray"
  xdotool mousemove --window "$tray" 12 $(($(height_of "$tray") - 12)) click 3
  wait_for 15 "tray menu" menu_shown
  # The bar comes to the front with the click, over the menu's top.
  xdotool windowraise "$(menu_window)"
}
# choose_in_menu N: the Nth item (separators do not count) with the keyboard.
choose_in_menu() {
  local keys=()
  for ((i = 0; i < $1; i++)); do keys+=(Down); done
  # Without a window manager nobody gives the menu the keyboard focus.
  xdotool windowfocus "$(menu_window)"
  xdotool key --delay 100 "${keys[@]}" Return
  wait_for 10 "closed menu" menu_gone
  xdotool mousemove 700 600  # no tooltip over the tray in the pictures
}
focus_dialog() {
  local w
  w=$(dialog_window)
  xdotool windowactivate --sync "$w" 2>/dev/null || xdotool windowfocus --sync "$w"
}
# replace_field TEXT: the focused edit field's whole text becomes TEXT.
replace_field() {
  xdotool key --delay 50 End shift+Home BackSpace
  [[ -z $1 ]] || xdotool type --delay 60 "$1"
}
# The last line of the stand-in's log, and the exit code it shows.
last_net_line() { tail -n 1 "$NET_LOG" 2>/dev/null; }
# connect_from_menu STATUS: "Connetti" from the tray menu; true when the
# NET USE line it adds maps the drive for the demonstration user and ended
# with STATUS.
connect_from_menu() {
  local before
  before=$(net_lines)
  open_tray_menu
  choose_in_menu 2
  wait_for 60 "NET USE connect line" net_line_count_is_above $((before + 1))
  last_net_line | grep -qE "^[0-9]+ $1 NET USE $DRIVE ${BASE_URL}$DEMO_USER \*\*\* /USER:$DEMO_USER@$DEMO_DOMAIN\$"
}
dismiss_balloon() {
  # A click on the balloon closes it; the tour does not wait out its 10 s.
  xdotool mousemove 60 70 click 1
  xdotool mousemove 700 500
}

# ---------------------------------------------------------------- the tour

# A known start: no settings and no Run entry in the tour's prefix, no
# letter left from an earlier tour.
"$WINE" reg delete 'HKCU\Software\PELMORA\QLXDrive' /f >/dev/null 2>&1
"$WINE" reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v QLXDrive /f >/dev/null 2>&1
"$WINE" net use "$DRIVE" /delete >/dev/null 2>&1
rm -f "$NET_LOG"
xdotool mousemove 700 500

step start "QLXDrive starts with nothing stored: only the tray icon"
"$WINE" "$DEMO_DIR/QLXDrive.exe" </dev/null >"$TOUR/qlxdrive.log" 2>&1 &
PROGRAM_PID=$!
stop_program() { kill "$PROGRAM_PID" 2>/dev/null; }
at_exit stop_program
wait_for 60 "tray icon" tray_shown
shot start
[[ $(net_lines) == 0 ]] || fail "NET USE ran at a start with nothing stored: $(cat "$NET_LOG")"

step tray-menu "right-click on the tray icon opens the menu"
open_tray_menu
shot tray-menu
picture tray-menu 200x130+0+0

step dialog "\"Parametri\" opens the dialog"
choose_in_menu 1
wait_for 15 "dialog" dialog_shown
focus_dialog
shot dialog

step dialog-filled "user, a wrong password and the drive letter typed in"
# The focus starts on "Salva"; user, password and drive follow the buttons.
xdotool key --delay 80 Tab Tab Tab Tab
replace_field "$DEMO_USER"
xdotool key Tab
replace_field "$WRONG_PASSWORD"
xdotool key Tab
replace_field "${DRIVE:0:1}"  # the combo box completes the colon
shot dialog-filled
picture dialog "$(dialog_window)"

step saved "\"Salva\" stores the settings and closes the dialog"
# From the drive: the two check boxes, then "Salva".
xdotool key --delay 80 Tab Tab Tab space
wait_for 15 "closed dialog" dialog_gone
stored=$("$WINE" "$DEMO_DIR/qlxctl.exe" load --show-password 2>&1 | tr -d '\r')
for want in "PathDrive=$DRIVE" "User=$DEMO_USER" "Password=$WRONG_PASSWORD"; do
  grep -qxF "$want" <<<"$stored" || fail "the registry does not hold $want: [$stored]"
done
shot saved

step connect-wrong "\"Connetti\" with the wrong password: NET USE exits 2, balloon \"Errore nella connessione\""
connect_from_menu 2 ||
  fail "the connect line is not a refused $DRIVE: [$(last_net_line)]"
wait_for 15 "balloon" balloon_shown
shot balloon-error
[[ $(drive_listing) == "" ]] || fail "$DRIVE is mapped after a wrong password"
dismiss_balloon
wait_for 15 "balloon to go" balloon_gone

step password "the right password in the dialog, then \"Salva\""
open_tray_menu
choose_in_menu 1
wait_for 15 "dialog" dialog_shown
focus_dialog
xdotool key --delay 80 Tab Tab Tab Tab Tab
replace_field "$DEMO_PASSWORD"
shot dialog-password
xdotool key --delay 80 Tab Tab Tab Tab space
wait_for 15 "closed dialog" dialog_gone
"$WINE" "$DEMO_DIR/qlxctl.exe" load --show-password 2>&1 | tr -d '\r' | grep -qxF "Password=$DEMO_PASSWORD" ||
  fail "the new password is not stored"

step connect "\"Connetti\" with the right password: the drive is mapped, the file browser opens on it"
connect_from_menu 0 ||
  fail "the connect line did not succeed: [$(last_net_line)]"
wait_for 60 "file browser" browser_shown
# Out of the way of the tray and its balloons.
xdotool windowmove "$(browser_window)" 330 140
expected=$(cd "$DEMO_DIR/dav/$DEMO_USER" && ls -1 | sort | tr '\n' ' ')
[[ $(drive_listing) == "$expected" ]] || fail "$DRIVE lists [$(drive_listing)], the server's folder [$expected]"
wait_for 15 "balloon" balloon_shown
shot explorer-balloon
picture balloon 260x110+0+0

step explorer "the file browser shows the server's files"
dismiss_balloon
wait_for 15 "balloon to go" balloon_gone
shot explorer

step exit "\"Esci\" removes the mapping and ends the program"
before=$(net_lines)
open_tray_menu
choose_in_menu 4
wait_for 30 "program end" program_ended
last_net_line | grep -qE "^[0-9]+ 0 NET USE $DRIVE /DELETE\$" || fail "no successful /DELETE: [$(last_net_line)]"
[[ $(drive_listing) == "" ]] || fail "$DRIVE is still mapped after Esci"
shot exit

echo "tour: all $STEP steps passed; screenshots in $TOUR"
