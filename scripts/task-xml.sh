#!/usr/bin/env bash
# Turns the task definition kept readable in the repository (UTF-8, LF) into
# the file that goes into the release archives: UTF-16LE with a byte order
# mark and CR LF line ends, declared UTF-16, as Task Scheduler writes its own
# exports and as `schtasks /create /xml` reads them.
# Usage: scripts/task-xml.sh SRC OUT
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 SRC OUT" >&2
  exit 2
fi
src=$1
out=$2

declaration='<?xml version="1.0" encoding="UTF-8"?>'
if [[ $(head -n 1 "$src") != "$declaration" ]]; then
  echo "task-xml.sh: $src does not start with $declaration" >&2
  exit 1
fi

{
  printf '\xff\xfe'
  sed -e '1s/encoding="UTF-8"/encoding="UTF-16"/' -e 's/\r*$/\r/' "$src" |
    iconv -f UTF-8 -t UTF-16LE
} >"$out"
