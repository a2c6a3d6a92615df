#!/usr/bin/env bash
# Puts into DIR everything the release's archive and package hold: the
# tool TOOL and the task's runner RUNNER, copied in as tesmarinds.exe and
# tesmarinds-task.exe, the package's custom actions SETUP as
# tesmarinds-setup.dll (in the package, never installed), LICENSE.txt, the
# Japanese guide as README.ja.txt (UTF-8 with a byte order mark and CR LF,
# which every Notepad shows correctly), the per-user task definition
# tesmarinds-task.xml (UTF-16, by scripts/task-xml.sh) and the results
# script tesmarinds-results.ps1 and the event forwarding subscription
# tesmarinds-subscription.xml (CR LF).
# scripts/release.sh and the package scenarios both stage through here, so
# the tests install what ships. The administrative template goes into
# admx/: tesmarinds.admx, and its texts in en-US/ and ja-JP/tesmarinds.adml
# (UTF-8, CR LF).
# Usage: scripts/stage.sh TOOL RUNNER SETUP DIR
set -euo pipefail

if (($# != 4)); then
  echo "usage: $0 TOOL RUNNER SETUP DIR" >&2
  exit 2
fi
tool=$1
runner=$2
setup=$3
dir=$4
source_dir=$(cd "$(dirname "$0")/.." && pwd)

windows_text() {
  sed 's/\r*$/\r/' "$1"
}

# Copied in unless already there (the release signs them into DIR first).
copy_in() {
  if [[ $(realpath -- "$1") != $(realpath -m -- "$dir/$2") ]]; then
    cp "$1" "$dir/$2"
  fi
}

mkdir -p "$dir"
copy_in "$tool" tesmarinds.exe
copy_in "$runner" tesmarinds-task.exe
copy_in "$setup" tesmarinds-setup.dll
windows_text "$source_dir/LICENSE" >"$dir/LICENSE.txt"
{ printf '\xef\xbb\xbf'; windows_text "$source_dir/README.ja.md"; } \
  >"$dir/README.ja.txt"
"$source_dir/scripts/task-xml.sh" "$source_dir/packaging/tesmarinds-task.xml" \
  "$dir/tesmarinds-task.xml"
windows_text "$source_dir/packaging/tesmarinds-results.ps1" \
  >"$dir/tesmarinds-results.ps1"
windows_text "$source_dir/packaging/tesmarinds-subscription.xml" \
  >"$dir/tesmarinds-subscription.xml"
mkdir -p "$dir/admx/en-US" "$dir/admx/ja-JP"
for template in tesmarinds.admx en-US/tesmarinds.adml ja-JP/tesmarinds.adml; do
  windows_text "$source_dir/packaging/admx/$template" >"$dir/admx/$template"
done
