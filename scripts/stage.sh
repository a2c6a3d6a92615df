#!/usr/bin/env bash
# Puts into DIR everything the release's archive and package hold beside
# the executable EXE (copied in as tesmarinds.exe): LICENSE.txt, the
# Japanese guide as README.ja.txt (UTF-8 with a byte order mark and CR LF,
# which every Notepad shows correctly), the per-user task definition
# tesmarinds-task.xml (UTF-16, by scripts/task-xml.sh), close-windows.bat
# (Shift_JIS and CR LF, by scripts/batch-file.sh), and for the package the
# group task's template close-windows-task-template.xml and
# register-task.cmd (CR LF). scripts/release.sh and the package scenarios
# both stage through here, so the tests install what ships.
# Usage: scripts/stage.sh EXE DIR
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 EXE DIR" >&2
  exit 2
fi
exe=$1
dir=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)

windows_text() {
  sed 's/\r*$/\r/' "$1"
}

mkdir -p "$dir"
if [[ $(realpath -- "$exe") != $(realpath -m -- "$dir/tesmarinds.exe") ]]; then
  cp "$exe" "$dir/tesmarinds.exe"
fi
windows_text "$source_dir/LICENSE" >"$dir/LICENSE.txt"
{ printf '\xef\xbb\xbf'; windows_text "$source_dir/README.ja.md"; } \
  >"$dir/README.ja.txt"
"$source_dir/scripts/task-xml.sh" "$source_dir/packaging/tesmarinds-task.xml" \
  "$dir/tesmarinds-task.xml"
"$source_dir/scripts/batch-file.sh" "$source_dir/packaging/close-windows.bat" \
  "$dir/close-windows.bat"
windows_text "$source_dir/packaging/close-windows-task-template.xml" \
  >"$dir/close-windows-task-template.xml"
windows_text "$source_dir/packaging/register-task.cmd" \
  >"$dir/register-task.cmd"
