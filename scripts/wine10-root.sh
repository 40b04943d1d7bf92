#!/usr/bin/env bash
# scripts/wine10-root.sh: a Debian sid root with Wine 10, whose WoW64 mode
# runs the shipped i686 exe inside a 64-bit process (this kernel runs no
# 32-bit ELF, and Debian 12 has no 32-bit Wine to install here).
#
# usage: wine10-root.sh ensure        make the root once, or again when its
#                                     recipe changed or it is incomplete
#        wine10-root.sh run [--] CMD  run CMD inside the root
#        wine10-root.sh wine ARG...   run Wine 10's loader inside the root
#        wine10-root.sh wineserver ARG...  its wineserver
#        wine10-root.sh path          print where the root lies
#        wine10-root.sh remove        delete the root (refused while in use)
#
# The root lives outside the clone, in $QLX_ROOT_CACHE (default
# /var/cache/qlxdrive), and is made with debootstrap into a temporary
# folder renamed into place only once complete, so that an interrupted
# build never passes for a root. CMD runs in a private mount namespace:
# /dev, /proc, /sys, the host's /tmp (temporary folders, the X display's
# socket) and this checkout are mounted at the same paths inside, and all of
# it vanishes with the namespace's last process, leaving nothing mounted on
# the host. The network (the loopback of a local WebDAV server) is the host's.
# CMD starts in the current folder, with the environment as it is.
# Needs root (debootstrap, unshare, chroot).
set -euo pipefail

SELF=$(realpath "${BASH_SOURCE[0]}")
CHECKOUT=$(cd "$(dirname "$SELF")/.." && pwd)
CACHE=${QLX_ROOT_CACHE:-/var/cache/qlxdrive}
ROOT_DIR=$CACHE/wine10-root
STAMP=.qlx-recipe  # in the root, written last
# Wine's loader and server inside the root (scripts/wine10 and
# scripts/wineserver10 run them).
WINE_LOADER=/usr/lib/x86_64-linux-gnu/wine/wine
WINE_SERVER=/usr/lib/x86_64-linux-gnu/wine/wineserver
SUITE=sid
# Bumped whenever the way the root is made changes.
RECIPE_VERSION=1
# wine64 and libwine carry the i386 Windows DLLs. The X and font libraries
# are Wine's recommends (it loads them at run time) named one by one, so
# that no desktop comes along with them; xvfb, xdotool and x11-xkb-utils let
# the root hold a whole test display of its own when needed.
PACKAGES=(
  wine64 libwine fonts-wine
  libfreetype6 libfontconfig1 libx11-6 libxext6 libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3
  libxcomposite1 libxinerama1 libxxf86vm1 libgl1
  xvfb xdotool x11-xkb-utils procps
)

die() {
  echo "wine10-root: $*" >&2
  exit 1
}

recipe() {
  printf '%s\n' "version $RECIPE_VERSION" "suite $SUITE" "${PACKAGES[@]}" | sha256sum | cut -c1-16
}

complete() {  # DIR
  [[ -f $1/$STAMP && $(cat "$1/$STAMP") == "$(recipe)" ]]
}

# mounted_under DIR: true while anything is mounted at or below DIR in any
# mount namespace, or a process has its root there.
mounted_under() {
  local dir
  dir=$(realpath -m "$1")
  # Through cat: processes end meanwhile, and awk would stop at the first
  # table that is gone. A process chrooted inside sees its mounts relative
  # to its root: the check of roots below catches those.
  { cat /proc/[0-9]*/mountinfo 2>/dev/null || true; } |
    awk -v d="$dir" '$5 == d || index($5, d "/") == 1 { found = 1 } END { exit !found }' && return 0
  local p root
  for p in /proc/[0-9]*; do
    root=$(readlink "$p/root" 2>/dev/null) || continue
    [[ $root == "$dir" || $root == "$dir"/* ]] && return 0
  done
  return 1
}

# remove_root DIR: never while /dev (or anything else) is mounted inside it.
remove_root() {
  [[ -e $1 ]] || return 0
  if mounted_under "$1"; then
    die "$1 is still in use (mounted or a process runs inside it): not removed"
  fi
  rm -rf --one-file-system "$1"
}

# in_root DIR CMD...: CMD inside DIR, with /dev, /proc, /sys and /tmp of the
# host and this checkout at its own path. in_root exec DIR CMD... replaces
# this shell with it, so that CMD keeps this process's id: whoever started
# the runner can signal and wait for CMD itself.
in_root() {
  local exec=
  if [[ $1 == exec ]]; then
    exec=exec
    shift
  fi
  local dir=$1
  shift
  mkdir -p "$dir$CHECKOUT"
  $exec unshare -m --propagation private sh -c '
    r=$1 checkout=$2 wd=$3
    shift 3
    mount --rbind /dev "$r/dev" &&
      mount -t proc proc "$r/proc" &&
      mount --rbind /sys "$r/sys" &&
      mount --rbind /tmp "$r/tmp" &&
      mount --bind "$checkout" "$r$checkout" &&
      exec chroot "$r" /bin/sh -c "cd \"\$0\" 2>/dev/null || cd /; exec \"\$@\"" "$wd" "$@"' \
    sh "$dir" "$CHECKOUT" "$PWD" "$@"
}

ensure() {
  [[ $(id -u) -eq 0 ]] || die "making the root needs root (debootstrap, chroot)"
  command -v debootstrap >/dev/null || die "debootstrap is not installed (package debootstrap)"
  mkdir -p "$CACHE"
  exec {lock}>"$CACHE/.lock"
  flock "$lock"
  if complete "$ROOT_DIR"; then
    echo "wine10-root: $ROOT_DIR is ready (recipe $(recipe))"
    return 0
  fi
  local old
  for old in "$CACHE"/wine10-root.new.* "$CACHE"/wine10-root.old.*; do
    [[ -e $old ]] && remove_root "$old"
  done
  local new log t0=$SECONDS
  new=$(mktemp -d "$CACHE/wine10-root.new.XXXXXX")
  log=$CACHE/wine10-root.log
  : >"$log"
  echo "wine10-root: making a Debian $SUITE root with Wine 10 in $ROOT_DIR (log: $log)"
  if ! debootstrap --variant=minbase "$SUITE" "$new" >>"$log" 2>&1; then
    tail -n 30 "$log" >&2
    remove_root "$new"
    die "debootstrap --variant=minbase $SUITE failed: no Wine 10 root"
  fi
  echo "wine10-root: debootstrap done after $((SECONDS - t0)) s; installing ${PACKAGES[*]}"
  # The mirror's sid index is a snapshot whose Valid-Until date has passed;
  # its signatures are still checked.
  local apt=(env DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Check-Valid-Until=false -o Acquire::Retries=3)
  if ! in_root "$new" "${apt[@]}" update >>"$log" 2>&1 ||
    ! in_root "$new" "${apt[@]}" install -y --no-install-recommends "${PACKAGES[@]}" >>"$log" 2>&1; then
    tail -n 30 "$log" >&2
    remove_root "$new"
    die "installing Wine 10 in the $SUITE root failed: no Wine 10 root"
  fi
  in_root "$new" apt-get clean >>"$log" 2>&1 || true
  if [[ ! -x $new$WINE_LOADER || ! -x $new$WINE_SERVER ]] || ! compgen -G "$new/usr/lib/*/wine/i386-windows/kernel32.dll" >/dev/null; then
    echo "wine10-root: Wine's files in the root:" >&2
    (cd "$new" && ls -d usr/lib/wine/* usr/bin/wine* usr/lib/*/wine/* 2>/dev/null) >&2
    remove_root "$new"
    die "the $SUITE root has no WoW64 Wine ($WINE_LOADER, $WINE_SERVER and the i386-windows DLLs)"
  fi
  recipe >"$new/$STAMP"
  if [[ -e $ROOT_DIR ]]; then
    old=$(mktemp -u "$CACHE/wine10-root.old.XXXXXX")
    mv "$ROOT_DIR" "$old"
    mv "$new" "$ROOT_DIR"
    remove_root "$old"
  else
    mv "$new" "$ROOT_DIR"
  fi
  echo "wine10-root: ready after $((SECONDS - t0)) s: $(in_root "$ROOT_DIR" "$WINE_LOADER" --version 2>/dev/null)"
}

run() {
  complete "$ROOT_DIR" || die "no complete Wine 10 root in $ROOT_DIR: run '$SELF ensure' first"
  in_root exec "$ROOT_DIR" "$@"
}

case ${1:-} in
  ensure) ensure ;;
  run)
    shift
    [[ ${1:-} != -- ]] || shift
    [[ $# -ge 1 ]] || die "usage: $0 run [--] COMMAND [ARG...]"
    run "$@"
    ;;
  wine) shift; run "$WINE_LOADER" "$@" ;;
  wineserver) shift; run "$WINE_SERVER" "$@" ;;
  path) echo "$ROOT_DIR" ;;
  remove)
    [[ -d $CACHE ]] || exit 0
    exec {lock}>"$CACHE/.lock"
    flock "$lock"
    for dir in "$ROOT_DIR" "$CACHE"/wine10-root.new.* "$CACHE"/wine10-root.old.*; do
      remove_root "$dir"
    done
    ;;
  *)
    sed -n '2,/^set -euo/p' "$SELF" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
