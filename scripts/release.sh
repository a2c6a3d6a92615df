#!/usr/bin/env bash
# Builds both architectures afresh and packs them for download into dist/:
# tesmarinds-<version>-win64.zip and -win32.zip, each holding tesmarinds.exe,
# the task's runner tesmarinds-task.exe, LICENSE.txt, the Japanese guide as
# README.ja.txt (UTF-8 with a byte order mark and CR LF, which every Notepad
# shows correctly) and the task definition tesmarinds-task.xml (UTF-16, as
# schtasks /create /xml reads it) and the results script
# tesmarinds-results.ps1, the event forwarding subscription
# tesmarinds-subscription.xml and the administrative template in admx/
# (tesmarinds.admx, en-US/ and ja-JP/tesmarinds.adml), made from
# packaging/ by scripts/stage.sh;
# the Windows Installer packages tesmarinds-<version>-x64.msi and -x86.msi
# (scripts/msi.sh, with the custom actions' tesmarinds-setup.dll inside,
# never installed); the executables as win64/ and win32/tesmarinds.exe and
# tesmarinds-task.exe; and SHA256SUMS over all of them, as `sha256sum -c`
# reads it. The executables' product version names the commit they are
# built from (1.2.0+1a2b3c4d5e6f, ".dirty" after it for uncommitted
# changes). Installs what is missing first.
# When TESMARINDS_SIGN_PFX names a PKCS#12 file (see scripts/sign.sh for the
# password and the time-stamp server), the executables are signed before
# they are packed, and both packages once built, so the archives, the
# packages, the copies and the hashes all hold signed files; without it the
# release is unsigned. The unsigned packages stay in build/release-*/.
set -euo pipefail
if [[ -n ${TESMARINDS_SIGN_PFX:-} ]]; then
  # Named from where the script was started, and checked before the builds.
  TESMARINDS_SIGN_PFX=$(realpath -- "$TESMARINDS_SIGN_PFX")
  if [[ ! -f $TESMARINDS_SIGN_PFX || ! -r $TESMARINDS_SIGN_PFX ]]; then
    echo "release: TESMARINDS_SIGN_PFX names no readable file" >&2
    exit 1
  fi
fi
cd "$(dirname "$0")/.."

scripts/setup.sh build release
# Every entry of the archives and the packages' clock carry the last
# commit's time, so the same commit gives the same archives and packages.
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || true)
fi
if [[ -z $SOURCE_DATE_EPOCH ]]; then
  SOURCE_DATE_EPOCH=315532800  # 1980-01-01, the first time a zip can hold
  echo "release: no git history; the archives' entries are dated 1980" >&2
fi

# The product version Explorer shows must name the commit the release is
# built from: worked out here from git, apart from how CMake did it.
check_product_version() {
  local exe=$1 expected=$2
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    expected+=+$(git rev-parse --short=12 HEAD)
    if [[ -n $(git status --porcelain --untracked-files=no) ]]; then
      expected+=.dirty
    fi
  elif [[ -n ${TESMARINDS_COMMIT:-} ]]; then
    expected+=+$TESMARINDS_COMMIT
  fi
  if ! python3 - "$exe" "$expected" <<'PYTHON'
import re
import sys
exe, expected = sys.argv[1], sys.argv[2]
data = open(exe, "rb").read()
# A version resource string: its UTF-16 key, padding, its value and a NUL.
key = "ProductVersion".encode("utf-16-le") + b"\0\0"
found = re.search(re.escape(key) + b"(?:\0\0)?((?:[^\0].|\0[^\0])*?)\0\0",
                  data, re.S)
actual = found.group(1).decode("utf-16-le") if found else None
if actual != expected:
    print(f"release: {exe} names product version {actual!r},"
          f" not {expected!r}", file=sys.stderr)
    sys.exit(1)
PYTHON
  then
    exit 1
  fi
  echo "release: $exe is product version $expected"
}

# The tool and the task's runner, built, signed and shipped alike.
programs=(tesmarinds.exe tesmarinds-task.exe)
# Packed as files alone, without entries for their folders.
templates=(admx/tesmarinds.admx admx/en-US/tesmarinds.adml
           admx/ja-JP/tesmarinds.adml)
rm -rf dist
mkdir dist
archives=()
packages=()
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
  rm -rf "$stage"
  mkdir -p "$stage" "dist/$arch"
  for program in "${programs[@]}"; do
    check_product_version "$build/$program" "$version"
  done
  # The package's custom actions are signed with the programs: Windows
  # Installer loads them as any DLL, where App Control may ask for it.
  for program in "${programs[@]}" tesmarinds-setup.dll; do
    if [[ -n ${TESMARINDS_SIGN_PFX:-} ]]; then
      scripts/sign.sh "$build/$program" "$stage/$program"
    else
      cp "$build/$program" "$stage/$program"
    fi
  done
  scripts/stage.sh "$stage/tesmarinds.exe" "$stage/tesmarinds-task.exe" \
    "$stage/tesmarinds-setup.dll" "$stage"
  find "$stage" -type f -exec chmod 644 {} +
  find "$stage" -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
  archive=tesmarinds-$version-$arch.zip
  (cd "$stage" && TZ=UTC zip -X -q "../../../dist/$archive" \
     "${programs[@]}" LICENSE.txt README.ja.txt tesmarinds-task.xml \
     tesmarinds-results.ps1 tesmarinds-subscription.xml "${templates[@]}")
  for program in "${programs[@]}"; do
    cp -p "$stage/$program" "dist/$arch/$program"
  done

  msi_arch=x64
  [[ $arch == win64 ]] || msi_arch=x86
  package=tesmarinds-$version-$msi_arch.msi
  product=$(sed -n 's/^TESMARINDS_PRODUCT_VERSION:INTERNAL=//p' \
              "$build/CMakeCache.txt")
  SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH \
    scripts/msi.sh "$msi_arch" "$version" "$product" "$stage" "$build/$package"
  if [[ -n ${TESMARINDS_SIGN_PFX:-} ]]; then
    scripts/sign.sh "$build/$package" "dist/$package"
  else
    cp "$build/$package" "dist/$package"
  fi
  packages+=("$package")
  archives+=("$archive")
done

(cd dist &&
 sha256sum "${archives[@]}" "${packages[@]}" "${programs[@]/#/win64/}" \
   "${programs[@]/#/win32/}" >SHA256SUMS &&
 sha256sum -c SHA256SUMS)
echo "release: dist/ holds ${archives[*]} ${packages[*]} and SHA256SUMS"
