#!/usr/bin/env bash
# The packages the package scenarios install: the Windows Installer package
# of ARCH holding the tool TOOL, the task's runner RUNNER and the custom
# actions SETUP, staged and built as scripts/release.sh builds it, in
# VERSION and in a higher test version (its third field one more), into DIR.
# Usage: tests/e2e/packages.sh ARCH TOOL RUNNER SETUP VERSION PRODUCT DIR
set -euo pipefail

if (($# != 7)); then
  echo "usage: $0 ARCH TOOL RUNNER SETUP VERSION PRODUCT DIR" >&2
  exit 2
fi
arch=$1 tool=$2 runner=$3 setup=$4 version=$5 product=$6 dir=$7
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)

IFS=. read -r major minor patch <<<"$version"
higher=$major.$minor.$((patch + 1))
rm -rf "$dir"
"$scripts/stage.sh" "$tool" "$runner" "$setup" "$dir/stage"
for each in "$version" "$higher"; do
  "$scripts/msi.sh" "$arch" "$each" "$product" "$dir/stage" \
    "$dir/tesmarinds-$each-$arch.msi"
done
echo "$higher" >"$dir/higher-version.txt"
