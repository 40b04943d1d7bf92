#!/usr/bin/env bash
# scripts/run.sh [--tour] [--preset win32|win64]: builds QLXDrive for a
# WebDAV server on this machine and shows it working, from a fresh Debian 12
# as root.
#
# It installs its packages (apt-get), starts `rclone serve webdav` on
# 127.0.0.1 with a demonstration user and folder, builds a demonstration
# configuration of the program whose service base URL and account domain
# point at that server, and runs it in a Wine prefix of its own that keeps
# the settings from one run to the next. The program is the shipped i686
# build (preset win32), run by Wine 10's WoW64 inside the root that
# scripts/wine10-root.sh makes once (a few minutes the first time); with
# --preset win64, its x86_64 twin under the host's Wine 8. Wine has no WebDAV
# redirector, so that prefix's net.exe is the demonstration's stand-in
# (demo/net_demo.cpp): it checks the credentials against the server and maps
# the drive letter onto the served folder.
#
# With DISPLAY set the program appears on that display; without one it runs
# on a private Xvfb that a browser reaches through noVNC, and the address is
# printed. "Esci" in the tray menu, or Ctrl-C here, ends the demonstration.
#
# --tour: a scripted walk through on a private Xvfb (scripts/demo-tour.sh),
# a screenshot per step in build/demo/tour/; exits non-zero when a step fails.
#
# Environment: QLX_SKIP_INSTALL=1 skips apt-get (the packages are there);
# QLX_JOBS (default 2) for the build; QLX_DEMO_PORT (default 8642), the first
# port tried for the WebDAV server; QLX_DEMO_DIR (default build/demo, or
# build/demo-win64 for --preset win64); QLX_DEMO_PREFIX (default
# QLX_DEMO_DIR/prefix), the Wine prefix that keeps the settings.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

# shellcheck source=lib.sh
. "$ROOT/scripts/lib.sh"

MODE=run
PRESET=win32
while [[ $# -gt 0 ]]; do
  case $1 in
    --tour) MODE=tour; shift ;;
    --preset)
      [[ ${2:-} == win32 || ${2:-} == win64 ]] || {
        echo "usage: $0 [--tour] [--preset win32|win64]" >&2
        exit 2
      }
      PRESET=$2
      shift 2
      ;;
    -h | --help)
      sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "usage: $0 [--tour] [--preset win32|win64]" >&2
      exit 2
      ;;
  esac
done

JOBS=${QLX_JOBS:-2}
if [[ $PRESET == win32 ]]; then
  DEMO_DIR=${QLX_DEMO_DIR:-$ROOT/build/demo}
else
  DEMO_DIR=${QLX_DEMO_DIR:-$ROOT/build/demo-win64}
fi
qlx_wine_for "$PRESET"
export QLX_WINE=$WINE QLX_WINESERVER=$WINESERVER
NOVNC_WEB=/usr/share/novnc

# The demonstration account. The server knows the bare user name; the
# program hands NET USE the user name with the account domain.
DEMO_USER=mario.rossi
DEMO_PASSWORD=Cielo-42
DEMO_DOMAIN=demo.example

PACKAGES=(
  cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 wine64
  rclone xvfb x11vnc novnc websockify xdotool imagemagick iproute2 debootstrap
)

# ---------------------------------------------------------------- clean-up

PIDS=()          # background servers, stopped in reverse order
PREFIXES=()      # Wine prefixes whose wineserver is stopped
TMP_DIR=$(mktemp -d /tmp/qlx-demo.XXXXXX)
remove_tmp_dir() { rm -rf "$TMP_DIR"; }
stop_demo() {
  local prefix i
  # Ends the program and Wine's own processes (the file browser on the
  # drive, the tray).
  for prefix in "${PREFIXES[@]}"; do qlx_stop_wine "$WINESERVER" "$prefix"; done
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    kill "${PIDS[$i]}" 2>/dev/null && wait "${PIDS[$i]}" 2>/dev/null
  done
}
at_exit remove_tmp_dir
at_exit stop_demo

say() { printf '%s\n' "$*"; }
die() {
  printf 'run.sh: %s\n' "$*" >&2
  exit 1
}

# --------------------------------------------------------------- packages

install_packages() {
  qlx_apt_install "${PACKAGES[@]}" || die "installing ${PACKAGES[*]} failed"
}

# ------------------------------------------------------------------ ports

port_in_use() { ss -Hltn 2>/dev/null | awk '{print $4}' | grep -qE "[:.]$1\$"; }
# free_port FIRST: FIRST or the next port up that nothing listens on.
free_port() {
  local port=$1
  while port_in_use "$port"; do
    port=$((port + 1))
    ((port < $1 + 100)) || die "no free port in $1..$port"
  done
  echo "$port"
}

# waits until something listens on 127.0.0.1:PORT, or dies naming LOG.
wait_for_port() {  # port, seconds, what, log
  local deadline=$((SECONDS + $2))
  until port_in_use "$1"; do
    ((SECONDS < deadline)) || {
      cat "$4" >&2 2>/dev/null
      die "$3 did not listen on 127.0.0.1:$1 within $2 s"
    }
    sleep 0.2
  done
}

# ------------------------------------------------------------------- build

build_demo() {
  local url=$1
  # The preset's build, with the two build settings pointing at the server.
  cmake --preset "$PRESET" -B "$DEMO_DIR" -DQLX_TESTS=OFF \
    -DQLX_SERVICE_BASE_URL="$url" -DQLX_ACCOUNT_DOMAIN="$DEMO_DOMAIN" </dev/null >"$TMP_DIR/configure.log" 2>&1 || {
    cat "$TMP_DIR/configure.log" >&2
    die "configuring $DEMO_DIR failed"
  }
  cmake --build "$DEMO_DIR" -j "$JOBS" --target QLXDrive demo_net qlxctl </dev/null
}

# ------------------------------------------------------------ the server

# The served folder: one subfolder per user, as the service has. Files the
# user added or changed are kept.
make_served_folder() {
  local home=$DEMO_DIR/dav/$DEMO_USER
  mkdir -p "$home/Documenti" "$home/Progetti/Cloud"
  [[ -e $home/Leggimi.txt ]] || printf '%s\r\n' \
    "Benvenuto nella cartella WebDAV dimostrativa di $DEMO_USER." \
    "Questi file stanno sul server rclone in $DEMO_DIR/dav/$DEMO_USER." >"$home/Leggimi.txt"
  [[ -e "$home/Documenti/Verbale riunione.txt" ]] || printf '%s\r\n' \
    "Verbale della riunione di progetto" "Presenti: tutti." >"$home/Documenti/Verbale riunione.txt"
  [[ -e $home/Documenti/Preventivo.csv ]] || printf '%s\r\n' \
    "voce;importo" "server;1200" "manutenzione;300" >"$home/Documenti/Preventivo.csv"
  [[ -e $home/Progetti/Cloud/note.txt ]] || printf '%s\r\n' "Note sul progetto Cloud." >"$home/Progetti/Cloud/note.txt"
}

start_server() {  # port
  rclone serve webdav --config /dev/null --addr "127.0.0.1:$1" --user "$DEMO_USER" --pass "$DEMO_PASSWORD" \
    "$DEMO_DIR/dav" </dev/null >"$DEMO_DIR/rclone.log" 2>&1 &
  PIDS+=($!)
  wait_for_port "$1" 30 "rclone serve webdav" "$DEMO_DIR/rclone.log"
}

# --------------------------------------------------------------- the prefix

# Windows path of a local path under Wine's Z: (which is /).
windows_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# prepare_prefix DIR: a Wine prefix with the demonstration's net.exe.
prepare_prefix() {
  local prefix=$1
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;net.exe=n"
  PREFIXES+=("$prefix")
  if [[ ! -f $prefix/system.reg ]]; then
    say "Creating the Wine prefix $prefix (once)..."
    mkdir -p "$prefix"
    "$WINE" wineboot --init </dev/null >"$TMP_DIR/wineboot.log" 2>&1
    "$WINESERVER" -w
  fi
  qlx_install_system_exe "$prefix" "$DEMO_DIR/demo/net.exe" net.exe
  # Wine finds its Marlett font (the glyphs of the title-bar buttons) only in
  # the prefix's Fonts folder here; without it the close button shows "r".
  local fonts=/usr/share/wine/fonts
  [[ $PRESET == win64 ]] || fonts=$("$ROOT/scripts/wine10-root.sh" path)$fonts
  [[ -f $prefix/drive_c/windows/Fonts/marlett.ttf || ! -f $fonts/marlett.ttf ]] ||
    cp "$fonts/marlett.ttf" "$prefix/drive_c/windows/Fonts/"
  # The stand-in learns the served folder and its log from the environment
  # the program passes on.
  export QLX_DEMO_DAV_ROOT QLX_DEMO_NET_LOG
  QLX_DEMO_DAV_ROOT=$(windows_path "$DEMO_DIR/dav")
}

# ---------------------------------------------------------------- displays

# On a private Xvfb no window manager draws title bars and frames, so Wine
# draws its own; on the user's display the window manager does.
wine_draws_frames() {  # Y or N
  local managed=Y
  [[ $1 == Y ]] && managed=N
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f </dev/null >/dev/null 2>&1
  # Wine's tray and desktop process, started by `reg`, read the old value:
  # let it end, so that everything starts anew with the new one.
  "$WINESERVER" -w
}

XVFB_DISPLAY=
start_xvfb() {
  command -v Xvfb >/dev/null || die "Xvfb is not installed (package xvfb)"
  mkfifo "$TMP_DIR/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$TMP_DIR/display" </dev/null \
    >"$TMP_DIR/xvfb.log" 2>&1 &
  PIDS+=($!)
  read -r -t 30 XVFB_DISPLAY <"$TMP_DIR/display" || {
    cat "$TMP_DIR/xvfb.log" >&2
    die "Xvfb did not start"
  }
  export DISPLAY=:$XVFB_DISPLAY
}

start_novnc() {  # prints the address
  local vnc_port web_port
  vnc_port=$(free_port 5900)
  x11vnc -display "$DISPLAY" -rfbport "$vnc_port" -localhost -nopw -forever -shared -quiet \
    </dev/null >"$DEMO_DIR/x11vnc.log" 2>&1 &
  PIDS+=($!)
  wait_for_port "$vnc_port" 30 x11vnc "$DEMO_DIR/x11vnc.log"
  web_port=$(free_port 6080)
  websockify --web "$NOVNC_WEB" "127.0.0.1:$web_port" "127.0.0.1:$vnc_port" </dev/null >"$DEMO_DIR/websockify.log" 2>&1 &
  PIDS+=($!)
  wait_for_port "$web_port" 30 websockify "$DEMO_DIR/websockify.log"
  NOVNC_URL="http://127.0.0.1:$web_port/vnc.html?autoconnect=1&resize=remote"
}

# Wine's tray bar comes up at the top left, where Wine also opens the file
# window on the drive: on the private display (no window manager to arrange
# them) the window would cover the icon and "Esci" with it. The bar is
# dragged by its caption, as a user would, because a move behind Wine's back
# (an X move) leaves Wine clicking where the bar was.
move_tray_bar_down() {  # prefix; runs in the background, notes in the log
  local tray= x y width height screen_height deadline=$((SECONDS + 180))
  until tray=$(qlx_tray_window "$1"); do
    ((SECONDS < deadline)) || {
      echo "no tray bar within 180 s: left where it is"
      return 0
    }
    sleep 0.2
  done
  read -r _ screen_height < <(xdotool getdisplaygeometry)
  eval "$(xdotool getwindowgeometry --shell "$tray" | sed -n 's/^\([XY]\|WIDTH\|HEIGHT\)=/\L&/p')"
  ((y + height < screen_height)) || return 0
  xdotool mousemove --sync $((x + width / 2)) $((y + 8)) mousedown 1 \
    mousemove --sync $((x + width / 2)) $((screen_height / 2)) \
    mousemove --sync $((x + width / 2)) $((screen_height - height + 8)) mouseup 1 \
    mousemove --sync $((x + width + 300)) $((screen_height / 2))
  deadline=$((SECONDS + 10))
  until (($(xdotool getwindowgeometry --shell "$tray" | sed -n 's/^Y=//p') + height >= screen_height - 2)); do
    ((SECONDS < deadline)) || {
      echo "the tray bar did not move: left where it is"
      return 0
    }
    sleep 0.1
  done
  echo "the tray bar moved to the bottom left"
}

# --------------------------------------------------------------------- run

if [[ ${QLX_SKIP_INSTALL:-0} != 1 ]]; then
  install_packages
fi
for tool in cmake rclone "$WINE" ss; do
  command -v "$tool" >/dev/null || die "$tool is missing (run without QLX_SKIP_INSTALL=1)"
done
if [[ $PRESET == win32 ]]; then
  "$ROOT/scripts/wine10-root.sh" ensure || die "no Wine 10 root: the i686 program cannot run (see above)"
fi

mkdir -p "$DEMO_DIR"
PORT=$(free_port "${QLX_DEMO_PORT:-8642}")
BASE_URL="http://127.0.0.1:$PORT/"
say "Building the demonstration configuration in $DEMO_DIR (service $BASE_URL, domain $DEMO_DOMAIN)..."
build_demo "$BASE_URL"
make_served_folder
start_server "$PORT"

if [[ $MODE == tour ]]; then
  prepare_prefix "$DEMO_DIR/tour-prefix"
  start_xvfb
  wine_draws_frames Y
  export QLX_TOUR_DIR=$DEMO_DIR/tour DEMO_DIR DEMO_USER DEMO_PASSWORD DEMO_DOMAIN BASE_URL
  bash "$ROOT/scripts/demo-tour.sh"
  exit 0
fi

PREFIX_DIR=${QLX_DEMO_PREFIX:-$DEMO_DIR/prefix}
prepare_prefix "$PREFIX_DIR"
QLX_DEMO_NET_LOG=$(windows_path "$DEMO_DIR/net.log")
NOVNC_URL=
if [[ -z ${DISPLAY:-} ]]; then
  start_xvfb
  start_novnc
  wine_draws_frames Y
else
  wine_draws_frames N
fi

cat <<EOF

QLXDrive demonstration
  Program         $DEMO_DIR/QLXDrive.exe ($PRESET, $("$WINE" --version 2>/dev/null | tr -d '\r'))
  WebDAV server   $BASE_URL (rclone), serving $DEMO_DIR/dav
  User            $DEMO_USER
  Password        $DEMO_PASSWORD
  (the program connects as $DEMO_USER@$DEMO_DOMAIN to $BASE_URL$DEMO_USER)
EOF
if [[ -n $NOVNC_URL ]]; then
  say "  Display         $DISPLAY (private Xvfb)"
  say "  Open in a browser on this machine: $NOVNC_URL"
fi
cat <<EOF

The tray icon is in Wine's small tray bar, at the bottom left of the
screen on the private display (at the top left on your own): right-click it, choose "Parametri", enter the user, the password and
a drive letter (for example Q:), press "Salva", then choose "Connetti" in the
tray menu. A file window opens on the drive with the server's files.
"Esci" in the tray menu (or Ctrl-C here) ends the demonstration.
Settings stay in $PREFIX_DIR for the next run.

EOF
status=0
if [[ -n $NOVNC_URL ]]; then
  move_tray_bar_down "$PREFIX_DIR" >"$DEMO_DIR/tray-bar.log" 2>&1 &
  PIDS+=($!)
fi
# In the background, so that a signal to this script is handled at once
# (the clean-up then ends the program with the prefix's wineserver).
"$WINE" "$DEMO_DIR/QLXDrive.exe" </dev/null >"$DEMO_DIR/qlxdrive.log" 2>&1 &
wait "$!" || status=$?
say "QLXDrive ended (exit $status)."
exit "$status"
