#!/usr/bin/env bash
# Signs a Windows executable or Windows Installer package with Authenticode
# (SHA-256) by osslsigncode: OUT becomes the signed copy of IN, which is
# left as it is. The certificate and its private key come from the PKCS#12
# file named by TESMARINDS_SIGN_PFX, opened with the password in
# TESMARINDS_SIGN_PASSWORD (none if unset). When
# TESMARINDS_SIGN_TIMESTAMP_URL names an RFC 3161 time-stamp server, the
# signature is time-stamped there, so that Windows still accepts it once the
# certificate has expired.
# Usage: scripts/sign.sh IN OUT
set -euo pipefail

if (($# != 2)); then
  echo "usage: scripts/sign.sh IN OUT" >&2
  exit 2
fi
in=$1
out=$2
pfx=${TESMARINDS_SIGN_PFX:-}
if [[ ! -f $pfx || ! -r $pfx ]]; then
  echo "sign.sh: TESMARINDS_SIGN_PFX names no readable PKCS#12 file: '$pfx'" >&2
  exit 2
fi

options=(-pkcs12 "$pfx" -h sha256 -n tesmarinds)
if [[ -n ${TESMARINDS_SIGN_TIMESTAMP_URL:-} ]]; then
  options+=(-ts "$TESMARINDS_SIGN_TIMESTAMP_URL")
fi
rm -f "$out"
# The password reaches osslsigncode through a pipe: on its command line any
# local user could read it. osslsigncode refuses an empty password file.
sign() {
  if [[ -n ${TESMARINDS_SIGN_PASSWORD:-} ]]; then
    osslsigncode sign "${options[@]}" \
      -readpass <(printf '%s' "$TESMARINDS_SIGN_PASSWORD") "$@"
  else
    osslsigncode sign "${options[@]}" "$@"
  fi
}
if ! sign -in "$in" -out "$out"; then
  rm -f "$out"
  echo "sign.sh: signing $in failed" >&2
  exit 1
fi
