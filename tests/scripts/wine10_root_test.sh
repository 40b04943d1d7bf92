#!/usr/bin/env bash
# scripts/wine10-root.sh on a stand-in root in a cache of its own (never the
# real one): an unfinished root is refused rather than entered, and a root
# is never deleted while something is mounted inside it or a process runs
# in it, which would take the host's /dev with it; once nothing is, it goes.
# Needs root (mounts in a private namespace, as the script does).
# usage: wine10_root_test.sh <scripts/wine10-root.sh>
set -uo pipefail
script=$1
# shellcheck source=../lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
cache=$(mktemp -d /tmp/qlx-root-test.XXXXXX)
holder=
cleanup() {
  [[ -z $holder ]] || kill "$holder" 2>/dev/null
  wait 2>/dev/null
  rm -rf --one-file-system "$cache"
}
at_exit cleanup
export QLX_ROOT_CACHE=$cache
root=$("$script" path)
[[ $root == "$cache"/* ]] || fail "the root [$root] is not in the cache given [$cache]"
mkdir -p "$root/dev" "$root/proc" "$root/tmp" "$root/bin"

# Unfinished: no recipe stamp, then another recipe's.
for stamp in "" "0000000000000000"; do
  [[ -z $stamp ]] || echo "$stamp" >"$root/.qlx-recipe"
  out=$("$script" run -- /bin/true 2>&1)
  status=$?
  [[ $status != 0 ]] || fail "an unfinished root (stamp [$stamp]) was entered"
  grep -q "no complete Wine 10 root" <<<"$out" || fail "no clear refusal for stamp [$stamp]: [$out]"
done

# Something mounted on the root's /dev, held by a process in a private
# namespace (invisible in the host's own mount table).
ready=$cache/ready
unshare -m --propagation private sh -c \
  'mount -t tmpfs held "$1/dev" && touch "$1/dev/held" && touch "$2" && exec sleep 300' sh "$root" "$ready" &
holder=$!
deadline=$((SECONDS + 20))
until [[ -e $ready ]]; do
  ((SECONDS < deadline)) || { fail "the holder did not mount"; break; }
  kill -0 "$holder" 2>/dev/null || { fail "the holder ended: mounts not allowed here?"; break; }
  sleep 0.1
done
out=$("$script" remove 2>&1)
status=$?
[[ $status != 0 ]] || fail "remove succeeded while /dev was mounted inside the root"
grep -q "still in use" <<<"$out" || fail "no clear refusal while in use: [$out]"
[[ -d $root/dev ]] || fail "the root was (partly) deleted while in use"

kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
holder=
[[ -d $root/dev ]] || fail "the root went with its holder"

# Nothing holds it any more: it goes, and so does an unfinished build.
mkdir -p "$cache/wine10-root.new.abc123/dev"
"$script" remove || fail "remove refused a root nothing holds"
[[ ! -e $root ]] || fail "the root is still there after remove"
[[ ! -e $cache/wine10-root.new.abc123 ]] || fail "the unfinished build is still there after remove"

finish_checks "wine10-root: all checks passed"
