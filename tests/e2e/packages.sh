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
# No custom action runs a program or a script (base types 2, 5 and 6) or
# names cmd or icacls: SYSTEM makes the folders through the package's own
# DLL, never through a command line.
for package in "$dir"/tesmarinds-*-"$arch".msi; do
  actions=$(msiinfo export "$package" CustomAction | tr -d '\r' | tail -n +4)
  if awk -F'\t' '$2 % 8 == 2 || $2 % 8 == 5 || $2 % 8 == 6 { found = 1 }
                 END { exit !found }' <<<"$actions" ||
     grep -Eiq '(^|[^a-z])(cmd|icacls)([^a-z]|$)' <<<"$actions"; then
    echo "$package: a custom action runs a program or names cmd or icacls:" >&2
    echo "$actions" >&2
    exit 1
  fi
done
echo "$higher" >"$dir/higher-version.txt"
