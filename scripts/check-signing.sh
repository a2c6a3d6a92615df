#!/usr/bin/env bash
# Signing the release's executables (the tool and the task's runner, for
# both architectures) and Windows Installer packages
# (scripts/sign.sh, which scripts/release.sh calls when given a
# certificate): signs each with a throwaway self-signed code-signing
# certificate made here, checks each signature with osslsigncode against
# that certificate, and shows that the signed file is the unsigned one plus
# only what a signature must change (for an executable
# scripts/compare-signed.py; for a package, the same tables and streams plus
# the signature's). A tampered copy, or another certificate, must fail
# verification. No time-stamp server: the check needs no network.
# Signs what the release build left in build/release-*/ (scripts/test.sh
# runs scripts/check-reproducible.sh first), building only what is missing.
# Installs what is missing first.
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
  for program in tesmarinds tesmarinds-task; do
    unsigned=build/release-$arch/$program.exe
    if [[ ! -f $unsigned ]]; then
      cmake --workflow --preset "release-$arch" >/dev/null
    fi
    name="$arch $program.exe"
    signed=$work/$arch-$program.exe
    scripts/sign.sh "$unsigned" "$signed" >/dev/null
    echo -n "$name: signed; "
    python3 scripts/compare-signed.py "$unsigned" "$signed" || failed=1

    if verifies "$signed" signer; then
      echo "$name: the signature verifies against the test certificate"
    else
      fail "$name: the signature does not verify"
    fi
    # One byte in the middle of the file, in code or data the signature
    # covers, changed after signing.
    tampered=$work/$arch-$program-tampered.exe
    cp "$signed" "$tampered"
    python3 -c 'import sys
with open(sys.argv[1], "r+b") as exe:
    exe.seek(int(sys.argv[2]))
    byte = exe.read(1)[0]
    exe.seek(int(sys.argv[2]))
    exe.write(bytes([byte ^ 1]))' "$tampered" "$(($(stat -c %s "$unsigned") / 2))"
    if verifies "$signed" stranger; then
      fail "$name: the signature verifies against another certificate"
    elif verifies "$tampered" signer; then
      fail "$name: a copy changed after signing still verifies"
    else
      echo "$name: verification fails against another certificate and for" \
           "a copy changed after signing"
    fi
  done
done

# A package's contents as msiinfo reads them: every table's rows and every
# stream's bytes, one line each, by name. Tables are exported from the work
# folder: exporting the Binary table writes its streams out as files there.
package_contents() {
  local table stream package
  package=$(realpath -- "$1")
  for table in $(msiinfo tables "$package" | sort); do
    printf 'table %s %s\n' "$table" \
      "$(cd "$work" && msiinfo export "$package" "$table" | sha256sum |
         cut -d' ' -f1)"
  done
  msiinfo streams "$1" | sort | while IFS= read -r stream; do
    printf 'stream %q %s\n' "$stream" \
      "$(msiinfo extract "$1" "$stream" | sha256sum | cut -d' ' -f1)"
  done
}

for arch in win64 win32; do
  build=build/release-$arch
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  msi_arch=x64
  [[ $arch == win64 ]] || msi_arch=x86
  unsigned=$build/tesmarinds-$version-$msi_arch.msi
  if [[ ! -f $unsigned ]]; then
    scripts/stage.sh "$build/tesmarinds.exe" "$build/tesmarinds-task.exe" \
      "$build/tesmarinds-setup.dll" "$work/stage-$arch"
    scripts/msi.sh "$msi_arch" "$version" "$version" "$work/stage-$arch" \
      "$unsigned"
  fi
  signed=$work/$msi_arch.msi
  scripts/sign.sh "$unsigned" "$signed" >/dev/null
  package_contents "$unsigned" >"$work/unsigned.txt"
  package_contents "$signed" >"$work/signed.txt"
  # What the signature adds: its streams, and nothing else changed.
  if diff "$work/unsigned.txt" "$work/signed.txt" |
       grep -v 'DigitalSignature' | grep -q '^[<>]'; then
    echo "check-signing: signing $msi_arch.msi changed more than its" \
         "signature:" >&2
    diff "$work/unsigned.txt" "$work/signed.txt" >&2 || true
    failed=1
  elif ! grep -q 'DigitalSignature' "$work/signed.txt"; then
    echo "check-signing: the signed $msi_arch.msi holds no signature" >&2
    failed=1
  else
    echo "$msi_arch.msi: signed; the same tables and streams, and the" \
         "signature's"
  fi

  if verifies "$signed" signer; then
    echo "$msi_arch.msi: the signature verifies against the test certificate"
  else
    fail "$msi_arch.msi: the signature does not verify"
  fi
  # A package's bytes are not signed as they lie but table by table and
  # stream by stream: the tampered copy has one property changed.
  tampered=$work/$msi_arch-tampered.msi
  cp "$signed" "$tampered"
  msibuild "$tampered" -q \
    "UPDATE \`Property\` SET \`Value\` = 'another maker' WHERE \`Property\` = 'Manufacturer'"
  if verifies "$signed" stranger; then
    fail "$msi_arch.msi: the signature verifies against another certificate"
  elif verifies "$tampered" signer; then
    fail "$msi_arch.msi: a copy changed after signing still verifies"
  else
    echo "$msi_arch.msi: verification fails against another certificate" \
         "and for a copy changed after signing"
  fi
done
((failed == 0))
echo "check-signing: the four executables and both packages signed and verified"
