#!/usr/bin/env bash
# Win32ProgramFile reports the whole path of the running program: a probe
# is copied into folders whose full paths sit around the first buffer's
# size (261 units) and far past it, and started from the Unix side, since
# Wine's CreateProcessW refuses program paths of MAX_PATH units or more.
# usage: program_path.sh <qlx_path_probe.exe> <wine-run.sh>
set -euo pipefail
probe=$1
run=$2
# shellcheck source=tests/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../lib.sh"
require_prefix
export LC_ALL=C.UTF-8  # ${#text} then counts characters, all within UTF-16's BMP here

name=qlx_path_probe.exe
out_dos='C:\qlx_path_probe.bin'
out_unix="$WINEPREFIX/drive_c/qlx_path_probe.bin"
for length in 100 259 260 261 262 305 521 522 1200; do
  # A blank and a non-ASCII letter in the folder, as real installs have.
  top="qlx prova è $length"
  dos="C:\\$top"
  unix="$WINEPREFIX/drive_c/$top"
  rm -rf "$unix"
  left=$((length - ${#dos} - 1 - ${#name}))
  while ((left > 0)); do
    take=$((left > 201 ? (left - 201 >= 2 ? 201 : 200) : left))  # a backslash and the folder name
    folder=$(printf "%$((take - 1))s" "" | tr ' ' d)
    dos+="\\$folder"
    unix+="/$folder"
    left=$((left - take))
  done
  dos+="\\$name"
  unix+="/$name"
  if ((${#dos} != length)); then
    echo "setup: built a path of ${#dos} units instead of $length" >&2
    exit 2
  fi
  mkdir -p "$(dirname "$unix")"
  cp "$probe" "$unix"
  rm -f "$out_unix"
  if ! "$run" "$unix" "$out_dos"; then
    fail "length $length: the probe failed"
  else
    reported=$(iconv -f UTF-16LE -t UTF-8 "$out_unix")
    if [[ "$reported" != "$dos" ]]; then
      fail "length $length: reported ${#reported} units: $reported"
    else
      echo "length $length: ok"
    fi
  fi
  rm -rf "$WINEPREFIX/drive_c/$top" "$out_unix"
done
finish_checks "all program path checks passed"
