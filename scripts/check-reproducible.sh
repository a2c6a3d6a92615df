#!/usr/bin/env bash
# The release's executables and Windows Installer packages must be
# reproducible: a second clean build of the same sources, in another
# directory, later and in another time zone, gives byte-identical
# executables and packages for both architectures, so anyone can rebuild a
# release and compare it with the published hashes. The first build is the
# release itself (scripts/release.sh, into dist/), unsigned even when a
# certificate is named: a signature is made, not built, and no rebuild can
# give its bytes. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

env -u TESMARINDS_SIGN_PFX scripts/release.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/tesmarinds-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
copy=$work/somewhere/else

# The working tree as it is, uncommitted changes included; outside a git
# checkout (an unpacked source archive), everything but the build products.
mkdir -p "$copy"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do
      if [[ -e $file ]]; then printf '%s\0' "$file"; fi
    done |
    tar --null -T - -cf - | tar -xf - -C "$copy"
else
  tar --exclude=./build --exclude=./dist -cf - . | tar -xf - -C "$copy"
fi

# The time the release gave the packages' clock, found as it found it.
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || true)
fi
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-315532800}

sleep 2  # a time stamp would differ by at least this much
differ=0
for arch in win64 win32; do
  # The copy is no git checkout: it is told the commit the release named,
  # as anyone rebuilding a release from its sources would be.
  product=$(sed -n 's/^TESMARINDS_PRODUCT_VERSION:INTERNAL=//p' \
              "build/release-$arch/CMakeCache.txt")
  commit=${product#*+}
  [[ $commit != "$product" ]] || commit=
  (cd "$copy" &&
   TZ=Asia/Tokyo TESMARINDS_COMMIT=$commit \
     cmake --workflow --preset "release-$arch" >/dev/null)
  for program in tesmarinds.exe tesmarinds-task.exe; do
    first=$(sha256sum <"dist/$arch/$program" | cut -d' ' -f1)
    second=$(sha256sum <"$copy/build/release-$arch/$program" |
             cut -d' ' -f1)
    echo "$arch $program: $first (release), $second (second build)"
    if [[ $first != "$second" ]]; then
      echo "check-reproducible: the two $arch builds of $program differ" >&2
      differ=1
    fi
  done

  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' \
              "build/release-$arch/CMakeCache.txt")
  msi_arch=x64
  [[ $arch == win64 ]] || msi_arch=x86
  package=tesmarinds-$version-$msi_arch.msi
  (cd "$copy" &&
   TZ=Asia/Tokyo scripts/stage.sh "build/release-$arch/tesmarinds.exe" \
     "build/release-$arch/tesmarinds-task.exe" \
     "build/release-$arch/tesmarinds-setup.dll" "build/release-$arch/archive" &&
   TZ=Asia/Tokyo SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH \
     scripts/msi.sh "$msi_arch" "$version" "$product" \
       "build/release-$arch/archive" "build/release-$arch/$package")
  first=$(sha256sum <"dist/$package" | cut -d' ' -f1)
  second=$(sha256sum <"$copy/build/release-$arch/$package" | cut -d' ' -f1)
  echo "$package: $first (release), $second (second build)"
  if [[ $first != "$second" ]]; then
    echo "check-reproducible: the two builds of $package differ" >&2
    differ=1
  fi
done
((differ == 0))
echo "check-reproducible: both architectures' executables and packages" \
     "built byte for byte alike"
