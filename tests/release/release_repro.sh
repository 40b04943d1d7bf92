#!/usr/bin/env bash
# The release, signed with a certificate this test makes (a throwaway CA and
# a code-signing certificate under it), built from the committed HEAD of
# this checkout twice, in two clones at different paths and at different
# times: every file of the two release folders must be byte for byte the
# same (a difference names the file and its first differing offset), every
# signed artefact must verify against the CA, a copy with one byte changed
# must not, SHA256SUMS must match the files, the setup and the MSI must
# carry the signed exes and the uninstaller the setup writes must be signed
# too (the setup runs under Wine for that), and a certificate that does not
# allow code signing, or a wrong password, must stop the build and leave no
# release behind. Uncommitted changes are not part of what it builds.
# usage: release_repro.sh [JOBS]
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export LC_ALL=C.UTF-8
if [[ -z ${DISPLAY:-} ]]; then
  exec "$ROOT/scripts/with-xvfb.sh" bash "${BASH_SOURCE[0]}" "$@"
fi
# shellcheck source=tests/lib.sh
. "$ROOT/tests/lib.sh"
JOBS=${1:-2}
new_work_dir release
step() { echo "--- $*"; }
for tool in git cmake openssl osslsigncode wixl msiextract makensis; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
commit=$(git -C "$ROOT" rev-parse HEAD) || { echo "$ROOT is no git checkout" >&2; exit 1; }
version=$(sed -n 's/^project(QLXDrive VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
echo "building commit $commit (version $version)"
[[ -z $(git -C "$ROOT" status --porcelain --untracked-files=no) ]] ||
  echo "note: the checkout has uncommitted changes; they are not built"

step "a throwaway CA and signing certificates"
ca=$work/ca
mkdir -p "$ca"
make_certificate() {  # name extended-key-usage
  openssl req -newkey rsa:2048 -nodes -keyout "$ca/$1.key" -out "$ca/$1.csr" \
    -subj "/CN=QLXDrive test $1/O=PELMORA" 2>/dev/null &&
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$2" >"$ca/$1.ext" &&
    openssl x509 -req -in "$ca/$1.csr" -CA "$ca/ca.pem" -CAkey "$ca/ca.key" -CAcreateserial \
      -days 30 -extfile "$ca/$1.ext" -out "$ca/$1.pem" 2>/dev/null &&
    openssl pkcs12 -export -in "$ca/$1.pem" -inkey "$ca/$1.key" -certfile "$ca/ca.pem" \
      -passout "file:$ca/password" -out "$ca/$1.p12"
}
printf 'a pass phrase\n' >"$ca/password"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ca/ca.key" -out "$ca/ca.pem" -days 30 \
  -subj "/CN=QLXDrive test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null &&
  make_certificate signing codeSigning &&
  make_certificate server serverAuth || { echo "openssl could not make the certificates" >&2; exit 1; }

# A clone of the commit at PATH, configured for the release alone and built.
build_release() {  # path [cmake options]
  local dir=$1
  shift
  git clone -q --no-checkout "$ROOT" "$dir" && git -C "$dir" checkout -q --detach "$commit" || return 1
  cmake --preset win32 -S "$dir" -DQLX_TESTS=OFF "$@" </dev/null >"$dir.configure.log" 2>&1 || {
    tail -n 20 "$dir.configure.log"
    return 1
  }
  cmake --build "$dir/build/win32" --target release -j "$JOBS" </dev/null >"$dir.build.log" 2>&1
}
signed=(-DQLX_SIGNING_CERTIFICATE="$ca/signing.p12" -DQLX_SIGNING_PASSWORD_FILE="$ca/password")

step "release in a first clone"
first=$work/a
t0=$SECONDS
build_release "$first" "${signed[@]}" || { tail -n 30 "$first.build.log"; echo "the first release failed" >&2; exit 1; }
echo "built in $((SECONDS - t0)) s"
step "release in a second clone, at another path, later"
second=$work/another/path/b
mkdir -p "$(dirname "$second")"
t0=$SECONDS
build_release "$second" "${signed[@]}" || { tail -n 30 "$second.build.log"; echo "the second release failed" >&2; exit 1; }
echo "built in $((SECONDS - t0)) s"

release=$first/build/win32/release
expected=(QLXDrive.exe qlxctl.exe "QLXDrive-$version-setup.exe" "QLXDrive-$version.msi" SHA256SUMS)
step "the two releases, byte for byte"
[[ $(ls "$release" | sort) == $(printf '%s\n' "${expected[@]}" | sort) ]] ||
  fail "the release holds [$(ls "$release" | tr '\n' ' ')], expected [${expected[*]}]"
[[ $(ls "$second/build/win32/release" | sort) == $(ls "$release" | sort) ]] ||
  fail "the two releases hold different files"
for file in "${expected[@]}"; do
  [[ -f $release/$file ]] || continue
  difference=$(cmp "$release/$file" "$second/build/win32/release/$file" 2>&1) || {
    # cmp counts bytes from 1.
    byte=$(sed -n 's/.* differ: byte \([0-9]*\),.*/\1/p' <<<"$difference")
    if [[ -n $byte ]]; then
      fail "$file differs between the builds, first at offset $((byte - 1)) ($(printf '0x%x' $((byte - 1))))"
    else
      fail "$file differs between the builds: $difference"
    fi
  }
done
(cd "$release" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the release's files"
grep -q 'The release is signed with' "$first.configure.log" || fail "configuring with a certificate did not say the release is signed"

step "signatures against the test CA"
signing_time=$(LC_ALL=C date -u -d "@$(git -C "$ROOT" log -1 --format=%ct "$commit")" '+%b %e %H:%M:%S %Y GMT')
verify() { osslsigncode verify -CAfile "$ca/ca.pem" -in "$1" >"$work/verify.log" 2>&1; }
for file in "${expected[@]:0:4}"; do
  [[ -f $release/$file ]] || continue
  verify "$release/$file" || { fail "$file does not verify: $(tail -n 3 "$work/verify.log")"; continue; }
  grep -q 'QLXDrive test signing' "$work/verify.log" || fail "$file is not signed by the test certificate"
  # Signed at the commit's time, whenever it was built.
  grep -qF "Signing time: $signing_time" "$work/verify.log" ||
    fail "$file: [$(grep -m1 'Signing time' "$work/verify.log")], expected the commit's time $signing_time"
  # One byte changed in the middle of the signed content.
  cp "$release/$file" "$work/tampered"
  offset=$(($(stat -c %s "$work/tampered") / 3))
  byte=$(od -An -tu1 -j "$offset" -N1 "$work/tampered" | tr -d ' ')
  printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$work/tampered" bs=1 seek="$offset" conv=notrunc status=none
  cmp -s "$work/tampered" "$release/$file" && fail "could not change a byte of $file"
  verify "$work/tampered" && fail "$file with one byte changed still verifies"
done

step "the MSI holds the signed exes"
msi=$release/QLXDrive-$version.msi
if [[ -f $msi ]]; then
  (mkdir -p "$work/msi" && cd "$work/msi" && msiextract "$msi" >/dev/null) || fail "msiextract could not read the MSI"
  for exe in QLXDrive.exe qlxctl.exe; do
    packed=$(find "$work/msi" -name "$exe" -type f)
    [[ -n $packed ]] && cmp -s "$packed" "$release/$exe" || fail "the MSI's $exe is not the release's signed one"
  done
fi

step "the uninstaller the signed setup writes"
# It exists only once the setup has run: a silent install into a throwaway
# prefix of the Wine that runs the shipped program.
setup=$release/QLXDrive-$version-setup.exe
if [[ -f $setup ]]; then
  WINE=$QLX_WINE
  boot_prefix "$work/prefix" "$work/wine.out" "winemenubuilder.exe=d" || fail "wineboot failed"
  "$WINE" "$setup" /S '/D=C:\QLXDrive' >>"$work/wine.out" 2>&1 || fail "the signed setup /S exited $?"
  uninstaller=$WINEPREFIX/drive_c/QLXDrive/uninstall.exe
  for exe in QLXDrive.exe qlxctl.exe; do
    cmp -s "$WINEPREFIX/drive_c/QLXDrive/$exe" "$release/$exe" || fail "the setup did not install the release's signed $exe"
  done
  if [[ -f $uninstaller ]]; then
    verify "$uninstaller" || fail "the uninstaller does not verify: $(tail -n 3 "$work/verify.log")"
  else
    fail "the signed setup wrote no uninstaller"
  fi
  stop_wineserver
fi

step "a certificate without the code-signing usage"
cmake "$first/build/win32" -DQLX_SIGNING_CERTIFICATE="$ca/server.p12" </dev/null >"$work/bad.configure.log" 2>&1 ||
  fail "configuring with the other certificate failed"
if cmake --build "$first/build/win32" --target release -j "$JOBS" </dev/null >"$work/bad.build.log" 2>&1; then
  fail "the build with a certificate that does not allow code signing succeeded"
fi
grep -q 'does not allow code signing' "$work/bad.build.log" || fail "no clear error for that certificate: $(tail -n 5 "$work/bad.build.log")"
[[ ! -e $release ]] || fail "the refused build left a release: $(ls "$release")"

step "a wrong password"
printf 'not the pass phrase\n' >"$ca/wrong-password"
cmake "$first/build/win32" -DQLX_SIGNING_CERTIFICATE="$ca/signing.p12" -DQLX_SIGNING_PASSWORD_FILE="$ca/wrong-password" \
  </dev/null >"$work/wrong.configure.log" 2>&1 || fail "configuring with the wrong password failed"
if cmake --build "$first/build/win32" --target release -j "$JOBS" </dev/null >"$work/wrong.build.log" 2>&1; then
  fail "the build with a wrong password succeeded"
fi
grep -q 'cannot be read' "$work/wrong.build.log" || fail "no clear error for a wrong password: $(tail -n 5 "$work/wrong.build.log")"
[[ ! -e $release ]] || fail "the build with a wrong password left a release: $(ls "$release")"

step "without a certificate"
cmake "$first/build/win32" -DQLX_SIGNING_CERTIFICATE= -DQLX_SIGNING_PASSWORD_FILE= </dev/null >"$work/unsigned.configure.log" 2>&1 ||
  fail "configuring without a certificate failed"
[[ $(grep -c 'The release is unsigned' "$work/unsigned.configure.log") == 1 ]] ||
  fail "configuring without a certificate did not say once that the release is unsigned"

finish_checks "the two releases are the same and the signatures hold"
