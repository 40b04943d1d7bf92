#!/usr/bin/env bash
# check-pe.sh FILE MACHINE [DLL...]
#
# Fails unless FILE is a PE image for MACHINE (i386 or x86-64) that imports
# nothing but system DLLs: the program is shipped as one exe, so a MinGW
# runtime DLL or any other third-party import would make it fail to start on
# a clean Windows. The DLLs named after MACHINE must not be imported at all
# (the tray loads the dialog's libraries only when the dialog is opened).
set -euo pipefail

usage() {
  echo "usage: $0 FILE i386|x86-64 [DLL...]" >&2
  exit 2
}
[[ $# -ge 2 ]] || usage
file=$1
machine=$2
shift 2
forbidden=("$@")
case $machine in
  i386 | x86 | i686 | win32) want=pei-i386 own=i686-w64-mingw32-objdump other=x86_64-w64-mingw32-objdump ;;
  x86-64 | x86_64 | amd64 | win64) want=pei-x86-64 own=x86_64-w64-mingw32-objdump other=i686-w64-mingw32-objdump ;;
  *) usage ;;
esac

fail() {
  echo "FAIL: $file: $*" >&2
  exit 1
}
[[ -f $file ]] || fail "no such file"

# Imports that every Windows installation has. Compared case-insensitively.
allowed=(kernel32 user32 gdi32 advapi32 shell32 comctl32 comdlg32 uxtheme ole32 oleaut32
  shlwapi dwmapi msvcrt ws2_32 winhttp mpr crypt32)

# The cross objdump of the wanted machine only understands that machine, so
# try the others too: a wrong-machine file should be reported as such, not as
# unreadable.
dump=
for tool in ${OBJDUMP:-} "$own" "$other" objdump; do
  command -v "$tool" >/dev/null 2>&1 || continue
  if dump=$("$tool" -p "$file" 2>/dev/null) && grep -q 'file format pei-' <<<"$dump"; then
    break
  fi
  dump=
done
[[ -n $dump ]] || fail "not a PE image (no objdump here reads it)"

format=$(sed -n 's/^.*:[[:space:]]*file format \(pei-[^[:space:]]*\)[[:space:]]*$/\1/p' <<<"$dump" | head -n1)
mapfile -t dlls < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*\([^[:space:]]*\)[[:space:]]*$/\1/p' <<<"$dump")

echo "$file: $format, imports: ${dlls[*]:-(none)}"

status=0
if [[ $format != "$want" ]]; then
  echo "FAIL: $file: machine is $format, not $want" >&2
  status=1
fi
# Every linked exe imports at least KERNEL32; an empty list means the dump
# was not understood, which must not pass as "nothing forbidden".
if [[ ${#dlls[@]} -eq 0 ]]; then
  echo "FAIL: $file: no import table found" >&2
  status=1
fi
for dll in "${dlls[@]}"; do
  lower=${dll,,}
  case $lower in
    libstdc++-*.dll | libgcc_s*.dll | libwinpthread-*.dll)
      echo "FAIL: $file: links the MinGW runtime dynamically: $dll" >&2
      status=1
      continue
      ;;
  esac
  for name in "${forbidden[@]}"; do
    if [[ $lower == "${name,,}" || $lower == "${name,,}.dll" ]]; then
      echo "FAIL: $file: imports $dll, which it must load only when needed" >&2
      status=1
    fi
  done
  ok=0
  for name in "${allowed[@]}"; do
    [[ $lower == "$name.dll" ]] && ok=1 && break
  done
  if [[ $ok -eq 0 ]]; then
    echo "FAIL: $file: imports a DLL outside the system allowlist: $dll" >&2
    status=1
  fi
done

[[ $status -eq 0 ]] && echo "OK: $file"
exit "$status"
