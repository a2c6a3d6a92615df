#!/usr/bin/env bash
# Turns the batch file kept readable in the repository (UTF-8, LF) into the
# file that ships: Shift_JIS (code page 932) with CR LF line ends, as cmd
# reads a batch file once it has switched its console to code page 932.
# Fails on a character code page 932 lacks rather than ship a '?'.
# Usage: scripts/batch-file.sh SRC OUT
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 SRC OUT" >&2
  exit 2
fi
src=$1
out=$2

if grep -q $'\r' "$src"; then
  echo "batch-file.sh: $src holds CR characters; keep it with LF alone" >&2
  exit 1
fi
if ! sed 's/$/\r/' "$src" | iconv -f UTF-8 -t CP932 >"$out.partial"; then
  rm -f "$out.partial"
  echo "batch-file.sh: $src does not convert to code page 932" >&2
  exit 1
fi
mv "$out.partial" "$out"
