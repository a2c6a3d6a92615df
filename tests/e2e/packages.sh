#!/usr/bin/env bash
# The packages the package scenarios install: the Windows Installer package
# of ARCH holding the tool TOOL and the task's runner RUNNER, staged and
# built as scripts/release.sh builds it, in VERSION and in a higher test
# version (its third field one more), into DIR.
# Usage: tests/e2e/packages.sh ARCH TOOL RUNNER VERSION PRODUCT DIR
set -euo pipefail

if (($# != 6)); then
  echo "usage: $0 ARCH TOOL RUNNER VERSION PRODUCT DIR" >&2
  exit 2
fi
arch=$1 tool=$2 runner=$3 version=$4 product=$5 dir=$6
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)

IFS=. read -r major minor patch <<<"$version"
higher=$major.$minor.$((patch + 1))
rm -rf "$dir"
"$scripts/stage.sh" "$tool" "$runner" "$dir/stage"
for each in "$version" "$higher"; do
  "$scripts/msi.sh" "$arch" "$each" "$product" "$dir/stage" \
    "$dir/tesmarinds-$each-$arch.msi"
done
echo "$higher" >"$dir/higher-version.txt"
