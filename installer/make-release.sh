#!/usr/bin/env bash
# installer/make-release.sh: the release folder, called by the build's
# `release` target: the two exes, the per-user setup and the per-machine MSI,
# each signed when a certificate is given, and SHA256SUMS over the four.
#
#   make-release.sh OUT VERSION QLXDrive.exe qlxctl.exe ICON SOURCE_DIR
#
# Environment (the build sets them from its cache variables; empty: unset):
#   QLX_SIGNING_CERTIFICATE    PKCS#12 file of the signing certificate and key
#   QLX_SIGNING_PASSWORD_FILE  file holding its password (none: no password)
#   QLX_TIMESTAMP_URL          a time-stamping authority (none: no network,
#                              and the signing time is SOURCE_DATE_EPOCH)
#   SOURCE_DATE_EPOCH          the time written wherever a time must be;
#                              default: the commit's time
#   QLX_MAKENSIS, QLX_WIXL, QLX_OSSLSIGNCODE  the tools (default: from PATH)
#
# The bytes depend on the sources and these settings only, never on the
# folder, the user or the hour of the build. Any failure leaves no release
# folder behind, so that no half-made or unsigned file passes for a release.
#
#   make-release.sh --sign FILE   signs FILE in place (NSIS's finalizers call it)
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/lib.sh
. "$HERE/../scripts/lib.sh"
MAKENSIS=${QLX_MAKENSIS:-makensis}
WIXL=${QLX_WIXL:-wixl}
OSSLSIGNCODE=${QLX_OSSLSIGNCODE:-osslsigncode}
# Fixed for every version: it ties them together for the major upgrade.
UPGRADE_CODE=ED02F865-7FBC-4E4E-945C-C4209B89A732
# When the sources are no git checkout (a tarball): 2024-01-01 00:00 UTC.
FALLBACK_EPOCH=1704067200

die() {
  echo "make-release: $*" >&2
  exit 1
}

need_tool() {  # command package
  command -v "$1" >/dev/null || die "$1 not found (Debian package $2)"
}

# Signs FILE in place with the certificate of the environment, the signing
# time fixed unless a time-stamping authority gives it.
sign_file() {
  local file=$1 args=(-pkcs12 "$QLX_SIGNING_CERTIFICATE" -h sha256 -n QLXDrive)
  [[ -n ${QLX_SIGNING_PASSWORD_FILE:-} ]] && args+=(-readpass "$QLX_SIGNING_PASSWORD_FILE")
  if [[ -n ${QLX_TIMESTAMP_URL:-} ]]; then
    args+=(-ts "$QLX_TIMESTAMP_URL")
  else
    args+=(-time "$SOURCE_DATE_EPOCH")
  fi
  rm -f "$file.signed"
  "$OSSLSIGNCODE" sign "${args[@]}" -in "$file" -out "$file.signed" >"$file.sign.log" 2>&1 || {
    cat "$file.sign.log" >&2
    rm -f "$file.signed" "$file.sign.log"
    die "signing $(basename "$file") failed"
  }
  rm -f "$file.sign.log"
  mv "$file.signed" "$file"
}

# The certificate must be readable with the password given and allow code
# signing: an unusable one stops the build before anything is signed.
check_certificate() {
  local cert=$QLX_SIGNING_CERTIFICATE pass=(-passin pass:) pem
  [[ -r $cert ]] || die "the signing certificate $cert cannot be read"
  if [[ -n ${QLX_SIGNING_PASSWORD_FILE:-} ]]; then
    [[ -r $QLX_SIGNING_PASSWORD_FILE ]] || die "the password file $QLX_SIGNING_PASSWORD_FILE cannot be read"
    pass=(-passin "file:$QLX_SIGNING_PASSWORD_FILE")
  fi
  # Older PKCS#12 files use ciphers OpenSSL 3 keeps in its legacy provider.
  pem=$(openssl pkcs12 -in "$cert" "${pass[@]}" -nokeys -clcerts 2>/dev/null ||
    openssl pkcs12 -legacy -in "$cert" "${pass[@]}" -nokeys -clcerts 2>/dev/null) ||
    die "the signing certificate $cert cannot be read (not PKCS#12, or a wrong password)"
  openssl x509 -noout -ext extendedKeyUsage <<<"$pem" 2>/dev/null | grep -q 'Code Signing' ||
    die "the certificate in $cert does not allow code signing (no Code Signing extended key usage): $(openssl x509 -noout -subject <<<"$pem")"
}

if [[ ${1:-} == --sign ]]; then
  [[ $# -eq 2 ]] || die "usage: $0 --sign FILE"
  sign_file "$2"
  exit 0
fi

[[ $# -eq 6 ]] || die "usage: $0 OUT VERSION QLXDrive.exe qlxctl.exe ICON SOURCE_DIR"
out=$1 version=$2 program=$3 ctl=$4 icon=$5 source_dir=$6
# What an earlier build left goes first: a build that stops must not leave
# a release that looks like its own.
rm -rf "$out"
need_tool "$MAKENSIS" nsis
need_tool "$WIXL" wixl
need_tool python3 python3

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=$FALLBACK_EPOCH
fi
[[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH is not a number of seconds: $SOURCE_DATE_EPOCH"
export SOURCE_DATE_EPOCH

signed=0
if [[ -n ${QLX_SIGNING_CERTIFICATE:-} ]]; then
  need_tool "$OSSLSIGNCODE" osslsigncode
  need_tool openssl openssl
  check_certificate
  signed=1
  export QLX_SIGNING_CERTIFICATE QLX_SIGNING_PASSWORD_FILE QLX_TIMESTAMP_URL QLX_OSSLSIGNCODE=$OSSLSIGNCODE
fi

stage=$(mktemp -d)
finished=0
remove_unfinished() {
  rm -rf "$stage"
  ((finished)) || rm -rf "$out"
}
at_exit remove_unfinished
mkdir -p "$out"

setup=QLXDrive-$version-setup.exe
msi=QLXDrive-$version.msi
cp "$program" "$out/QLXDrive.exe"
cp "$ctl" "$out/qlxctl.exe"
if ((signed)); then
  sign_file "$out/QLXDrive.exe"
  sign_file "$out/qlxctl.exe"
fi

# The setup; its uninstaller is signed before it is packed, the setup once
# written.
nsis_sign=()
if ((signed)); then
  nsis_sign=("-DSIGN_COMMAND=\"$HERE/make-release.sh\" --sign")
fi
"$MAKENSIS" -V2 -WX -INPUTCHARSET UTF8 -DVERSION="$version" -DTARGET=x86-unicode \
  -DPROGRAM="$out/QLXDrive.exe" -DCTL="$out/qlxctl.exe" -DOUTFILE="$out/$setup" -DICON="$icon" \
  "${nsis_sign[@]}" "$HERE/qlxdrive.nsi"

# The MSI. wixl takes its sources relative to the folder it runs in, and
# its cabinet keeps each file's time: both from a staging folder with the
# fixed time.
cp "$out/QLXDrive.exe" "$out/qlxctl.exe" "$stage/"
cp "$icon" "$stage/QLXDrive.ico"
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
product_code=$(python3 "$HERE/msi_summary.py" product-code "$UPGRADE_CODE" "$version")
(cd "$stage" && "$WIXL" -a x86 -D Version="$version" -D ProductCode="$product_code" \
  -D Program=QLXDrive.exe -D Ctl=qlxctl.exe -D Icon=QLXDrive.ico \
  -o "$stage/$msi" "$HERE/qlxdrive.wxs")
python3 "$HERE/msi_summary.py" fix "$stage/$msi" "$SOURCE_DATE_EPOCH" >/dev/null
mv "$stage/$msi" "$out/$msi"
((signed)) && sign_file "$out/$msi"

(cd "$out" && sha256sum QLXDrive.exe qlxctl.exe "$setup" "$msi" >SHA256SUMS)
state=unsigned
((signed)) && state="signed with $(basename "$QLX_SIGNING_CERTIFICATE")"
finished=1
echo "release $version in $out ($state, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
