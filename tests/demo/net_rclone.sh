#!/usr/bin/env bash
# The demonstration's net.exe against a real `rclone serve webdav` on
# 127.0.0.1, under wine64: the right password maps the letter onto the served
# folder (its files readable through the letter), a wrong one exits 2 and maps
# nothing, /DELETE removes the letter; and the letters it must never touch.
# usage: net_rclone.sh <net.exe> <wine-run.sh>
set -uo pipefail
net=$1
run=$2
# shellcheck source=tests/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
require_prefix
export LC_ALL=C.UTF-8

new_work_dir demo-net
rclone_pid=
letter=K  # Q: belongs to the other mapping tests; never Z: (Wine's /)
leave_prefix_as_found() {
  # Leave the shared prefix as it was, whatever happened above.
  "$run" "$net" use "$letter:" /delete >/dev/null 2>&1
  [[ -n $rclone_pid ]] && kill "$rclone_pid" 2>/dev/null && wait "$rclone_pid" 2>/dev/null
}
at_exit leave_prefix_as_found

user=mario.rossi
password='Cielo 42 è'  # a blank and a non-ASCII letter: one quoted word
mkdir -p "$work/dav/$user/Documenti" "$work/dav/other"
printf 'benvenuto\n' >"$work/dav/$user/leggimi.txt"
printf 'secret\n' >"$work/dav/other/x.txt"

# Port 0: rclone takes a free port and says which.
rclone serve webdav --config /dev/null --addr 127.0.0.1:0 --user "$user" --pass "$password" \
  "$work/dav" >"$work/rclone.log" 2>&1 &
rclone_pid=$!
base=
# Done waiting once rclone names its address, or has ended.
rclone_settled() {
  base=$(grep -o 'http://127\.0\.0\.1:[0-9]*/' "$work/rclone.log" | head -n 1)
  [[ -n $base ]] || ! kill -0 "$rclone_pid" 2>/dev/null
}
wait_until 10 rclone_settled
[[ -n $base ]] || {
  echo "rclone did not start:" >&2
  cat "$work/rclone.log" >&2
  exit 1
}
echo "rclone serves $work/dav at $base" >&2

export QLX_DEMO_DAV_ROOT="Z:${work//\//\\}\\dav" QLX_DEMO_NET_LOG="Z:${work//\//\\}\\net.log"
# As the program passes them: NET first, the account with its domain.
net_use() { "$run" "$net" use "$@" >"$work/out" 2>&1; }
expect_exit() {  # label, expected status, NET USE arguments...
  local label=$1 want=$2
  shift 2
  net_use "$@"
  local got=$?
  [[ $got == "$want" ]] || fail "$label: exit $got, expected $want ($(tr -d '\r' <"$work/out"))"
}
# What Wine's cmd sees through the letter ("X:\" alone never exists for
# Wine's cmd; every drive here holds files).
letter_state() { "$run" cmd /c "if exist $1:\\* (echo present) else (echo absent)" 2>/dev/null | tr -d '\r'; }
read_through() { "$run" cmd /c type "$1" 2>/dev/null | tr -d '\r'; }

# The letter must be free before anything else says something.
[[ $(letter_state $letter) == absent ]] || {
  echo "$letter: is in use in this prefix already" >&2
  exit 1
}

# --- wrong password, unknown user, missing folder: exit 2, nothing mapped -----
expect_exit "wrong password" 2 "$letter:" "$base$user" 'cielo 42 è' "/user:$user@demo.example"
grep -q 'System error 86' "$work/out" || fail "wrong password: no error 86 ($(cat "$work/out"))"
[[ $(letter_state $letter) == absent ]] || fail "wrong password: $letter: was mapped"
expect_exit "unknown user" 2 "$letter:" "$base$user" "$password" "/user:luigi@demo.example"
[[ $(letter_state $letter) == absent ]] || fail "unknown user: $letter: was mapped"
expect_exit "no such folder" 2 "$letter:" "${base}nessuno" "$password" "/user:$user@demo.example"
grep -q 'System error 67' "$work/out" || fail "no such folder: no error 67 ($(cat "$work/out"))"
expect_exit "path out of the served folder" 2 "$letter:" "${base}$user/../other" "$password" "/user:$user@demo.example"
[[ $(letter_state $letter) == absent ]] || fail "refused URLs: $letter: was mapped"

# --- the right password: the letter shows the served folder -------------------
expect_exit "right password" 0 "$letter:" "$base$user" "$password" "/user:$user@demo.example"
grep -q 'The command completed successfully' "$work/out" || fail "right password said $(cat "$work/out")"
[[ $(letter_state $letter) == present ]] || fail "right password: $letter: is not there"
[[ $(read_through "$letter:\\leggimi.txt") == benvenuto ]] || fail "$letter:\\leggimi.txt does not read benvenuto"
"$run" cmd /c dir /b "$letter:\\" >"$work/dir" 2>/dev/null
[[ $(tr -d '\r' <"$work/dir" | sort | tr '\n' ' ') == "Documenti leggimi.txt " ]] ||
  fail "dir $letter: lists [$(tr -d '\r' <"$work/dir" | tr '\n' ' ')]"
# Writing through the letter lands in the served folder.
"$run" cmd /c "echo scritto> $letter:\\nuovo.txt" >/dev/null 2>&1
[[ $(tr -d '\r' <"$work/dav/$user/nuovo.txt" 2>/dev/null) == scritto ]] || fail "a file written on $letter: is not in the folder"

# A second connect on a letter in use fails and leaves the first mapping.
expect_exit "letter in use" 2 "$letter:" "$base$user" "$password" "/user:$user@demo.example"
grep -q 'System error 85' "$work/out" || fail "letter in use: no error 85 ($(cat "$work/out"))"
[[ $(read_through "$letter:\\leggimi.txt") == benvenuto ]] || fail "letter in use: the first mapping is gone"

# --- /DELETE -----------------------------------------------------------------
expect_exit "delete" 0 "$letter:" /DELETE
[[ $(letter_state $letter) == absent ]] || fail "after /DELETE $letter: is still there"
expect_exit "delete again" 2 "$letter:" /DELETE
grep -q 'System error 2250' "$work/out" || fail "delete again: no error 2250 ($(cat "$work/out"))"
[[ -f $work/dav/$user/leggimi.txt ]] || fail "/DELETE touched the served files"

# --- letters that are not the stand-in's --------------------------------------
expect_exit "delete C:" 2 C: /DELETE
[[ $(letter_state C) == present ]] || fail "C: was removed"
expect_exit "connect over C:" 2 C: "$base$user" "$password" "/user:$user@demo.example"
[[ $("$run" cmd /c "if exist C:\\windows\\system32 (echo ok)" 2>/dev/null | tr -d '\r') == ok ]] ||
  fail "C: no longer shows the Windows folder"

# --- not NET USE syntax: exit 1 -------------------------------------------------
expect_exit "syntax: no remote" 1 "$letter:"
expect_exit "syntax: unknown option" 1 "$letter:" "$base$user" x /bogus
[[ $(letter_state $letter) == absent ]] || fail "syntax errors mapped $letter:"

# --- the server gone: exit 2 (network path not found) ---------------------------
kill "$rclone_pid" && wait "$rclone_pid" 2>/dev/null
rclone_pid=
expect_exit "server down" 2 "$letter:" "$base$user" "$password" "/user:$user@demo.example"
grep -q 'System error 53' "$work/out" || fail "server down: no error 53 ($(cat "$work/out"))"
[[ $(letter_state $letter) == absent ]] || fail "server down: $letter: was mapped"

# --- the log: one line per run, never the password -------------------------------
log=$(cat "$work/net.log" 2>/dev/null)
[[ $(grep -c '' <<<"$log") == 13 ]] || fail "net.log has $(grep -c '' <<<"$log") lines, expected 13"
grep -qE "^[0-9]{13} 0 NET USE $letter: $base$user \*\*\* /USER:$user@demo.example$" <<<"$log" ||
  fail "net.log has no line for the connect: [$log]"
grep -qE "^[0-9]{13} 2 NET USE $letter: /DELETE$" <<<"$log" || fail "net.log has no failed /DELETE line"
grep -q 'Cielo' <<<"$log" && fail "net.log holds the password"

finish_checks "all checks passed"
