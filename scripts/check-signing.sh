#!/usr/bin/env bash
# Signing the release's executables (scripts/sign.sh, which
# scripts/release.sh calls when given a certificate): signs both with a
# throwaway self-signed code-signing certificate made here, checks each
# signature with osslsigncode against that certificate, and shows that the
# signed file is the unsigned one plus only what a signature must change
# (scripts/compare-signed.py). A tampered copy, or another certificate, must
# fail verification. No time-stamp server: the check needs no network.
# Signs the executables the release build left in build/release-*/
# (scripts/test.sh runs scripts/check-reproducible.sh first), building them
# only if they are missing. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build release
work=$(mktemp -d "${TMPDIR:-/tmp}/tesmarinds-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT

certificate() {
  openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days 1 \
    -subj "/CN=tesmarinds throwaway test signer ($1)" \
    -addext "keyUsage=critical,digitalSignature" \
    -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
}
certificate signer
certificate stranger
export TESMARINDS_SIGN_PFX=$work/signer.pfx
TESMARINDS_SIGN_PASSWORD=$(openssl rand -hex 16)
export TESMARINDS_SIGN_PASSWORD
unset TESMARINDS_SIGN_TIMESTAMP_URL
openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" \
  -out "$TESMARINDS_SIGN_PFX" -passout env:TESMARINDS_SIGN_PASSWORD

verifies() {
  osslsigncode verify -CAfile "$work/$2.pem" -in "$1" >"$work/verify.log" 2>&1
}

failed=0
fail() {
  echo "check-signing: $1" >&2
  sed 's/^/    /' "$work/verify.log" >&2
  failed=1
}
for arch in win64 win32; do
  unsigned=build/release-$arch/tesmarinds.exe
  if [[ ! -f $unsigned ]]; then
    cmake --workflow --preset "release-$arch" >/dev/null
  fi
  signed=$work/$arch.exe
  scripts/sign.sh "$unsigned" "$signed" >/dev/null
  echo -n "$arch: signed; "
  python3 scripts/compare-signed.py "$unsigned" "$signed" || failed=1

  if verifies "$signed" signer; then
    echo "$arch: the signature verifies against the test certificate"
  else
    fail "$arch: the signature does not verify"
  fi
  # One byte in the middle of the file, in code or data the signature
  # covers, changed after signing.
  tampered=$work/$arch-tampered.exe
  cp "$signed" "$tampered"
  python3 -c 'import sys
with open(sys.argv[1], "r+b") as exe:
    exe.seek(int(sys.argv[2]))
    byte = exe.read(1)[0]
    exe.seek(int(sys.argv[2]))
    exe.write(bytes([byte ^ 1]))' "$tampered" "$(($(stat -c %s "$unsigned") / 2))"
  if verifies "$signed" stranger; then
    fail "$arch: the signature verifies against another certificate"
  elif verifies "$tampered" signer; then
    fail "$arch: a copy changed after signing still verifies"
  else
    echo "$arch: verification fails against another certificate and for" \
         "a copy changed after signing"
  fi
done
((failed == 0))
echo "check-signing: both executables signed and verified"
