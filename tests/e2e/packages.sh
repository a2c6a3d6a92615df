#!/usr/bin/env bash
# The packages the package scenarios install: the Windows Installer package
# of ARCH holding EXE, staged and built as scripts/release.sh builds it, in
# VERSION and in a higher test version (its third field one more), into DIR.
# Usage: tests/e2e/packages.sh ARCH EXE VERSION PRODUCT DIR
set -euo pipefail

if (($# != 5)); then
  echo "usage: $0 ARCH EXE VERSION PRODUCT DIR" >&2
  exit 2
fi
arch=$1 exe=$2 version=$3 product=$4 dir=$5
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)

IFS=. read -r major minor patch <<<"$version"
higher=$major.$minor.$((patch + 1))
rm -rf "$dir"
"$scripts/stage.sh" "$exe" "$dir/stage"
for each in "$version" "$higher"; do
  "$scripts/msi.sh" "$arch" "$each" "$product" "$dir/stage" \
    "$dir/tesmarinds-$each-$arch.msi"
done
echo "$higher" >"$dir/higher-version.txt"
