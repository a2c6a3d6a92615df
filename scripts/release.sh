#!/usr/bin/env bash
# Builds both executables afresh and packs them for download into dist/:
# tesmarinds-<version>-win64.zip and -win32.zip, each holding tesmarinds.exe,
# LICENSE.txt and the Japanese guide as README.ja.txt (UTF-8 with a byte
# order mark and CR LF, which every Notepad shows correctly); the two
# executables as win64/ and win32/tesmarinds.exe; and SHA256SUMS over all
# four, as `sha256sum -c` reads it. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build release
# Every entry of the archives carries the last commit's time, so the same
# commit gives the same archives.
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || true)
fi
if [[ -z $SOURCE_DATE_EPOCH ]]; then
  SOURCE_DATE_EPOCH=315532800  # 1980-01-01, the first time a zip can hold
  echo "release: no git history; the archives' entries are dated 1980" >&2
fi

windows_text() {
  sed 's/\r*$/\r/' "$1"
}

rm -rf dist
mkdir dist
archives=()
for arch in win64 win32; do
  build=build/release-$arch
  rm -rf "$build"
  cmake --workflow --preset "release-$arch"
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  if [[ -z $version ]]; then
    echo "release: $build/CMakeCache.txt names no project version" >&2
    exit 1
  fi

  stage=$build/archive
  mkdir -p "$stage" "dist/$arch"
  cp "$build/tesmarinds.exe" "$stage/tesmarinds.exe"
  windows_text LICENSE >"$stage/LICENSE.txt"
  { printf '\xef\xbb\xbf'; windows_text README.ja.md; } >"$stage/README.ja.txt"
  chmod 644 "$stage"/*
  touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
  archive=tesmarinds-$version-$arch.zip
  (cd "$stage" && TZ=UTC zip -X -q "../../../dist/$archive" \
     tesmarinds.exe LICENSE.txt README.ja.txt)
  cp -p "$stage/tesmarinds.exe" "dist/$arch/tesmarinds.exe"
  archives+=("$archive")
done

(cd dist &&
 sha256sum "${archives[@]}" win64/tesmarinds.exe win32/tesmarinds.exe \
   >SHA256SUMS &&
 sha256sum -c SHA256SUMS)
echo "release: dist/ holds ${archives[*]} and SHA256SUMS"
