#!/usr/bin/env bash
# Builds one Windows Installer package of tesmarinds with wixl from
# packaging/tesmarinds.wxs: ARCH is x64 or x86, STAGE a folder holding what
# it installs (tesmarinds.exe, tesmarinds-task.exe, README.ja.txt,
# LICENSE.txt, tesmarinds-results.ps1, tesmarinds-subscription.xml and
# the administrative template in admx/) and the custom actions' tesmarinds-setup.dll, as scripts/stage.sh
# stages them,
# PRODUCT the product version the executable names (1.3.0+1a2b3c4d5e6f).
# The same inputs give the same bytes: the product code is a name-based
# UUID of the version and architecture, the package code one of PRODUCT,
# the architecture and the staged files' hashes, and wixl runs on a clock
# stopped at SOURCE_DATE_EPOCH (default: 1980-01-01) in UTC, on copies of
# the files dated then: the times the summary information and the
# cabinet's entries record.
# Usage: scripts/msi.sh ARCH VERSION PRODUCT STAGE OUT
set -euo pipefail

if (($# != 5)); then
  echo "usage: $0 ARCH VERSION PRODUCT STAGE OUT" >&2
  exit 2
fi
arch=$1 version=$2 product=$3 stage=$4 out=$5
source_dir=$(cd "$(dirname "$0")/.." && pwd)
case $arch in
  x64) platform=x64 program_files=ProgramFiles64Folder needs_64bit=1
       win64=yes ;;
  x86) platform=Intel program_files=ProgramFilesFolder needs_64bit=0
       win64=no ;;
  *) echo "msi.sh: ARCH is x64 or x86, not $arch" >&2; exit 2 ;;
esac

name_uuid() {
  python3 -c 'import sys, uuid
print(uuid.uuid5(uuid.NAMESPACE_URL, sys.argv[1]))' "$1"
}
product_code=$(name_uuid "tesmarinds:product:$version:$arch")
files=(tesmarinds.exe tesmarinds-task.exe README.ja.txt LICENSE.txt
       tesmarinds-results.ps1 tesmarinds-subscription.xml tesmarinds-setup.dll)
files+=(admx/tesmarinds.admx admx/en-US/tesmarinds.adml
        admx/ja-JP/tesmarinds.adml)
inputs=$(cd "$stage" && sha256sum "${files[@]}" | sha256sum | cut -d' ' -f1)
package_code=$(name_uuid "tesmarinds:package:$product:$arch:$inputs")
epoch=${SOURCE_DATE_EPOCH:-315532800}
clock=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')

work=$(mktemp -d "${TMPDIR:-/tmp}/tesmarinds-msi.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/files"
(cd "$stage" && cp --parents "${files[@]}" "$work/files/")
find "$work/files" -exec touch -d "@$epoch" {} +
# wixl finds the files by names relative to where it runs.
(cd "$work/files" &&
 TZ=UTC faketime -f "$clock" wixl -a "$arch" -o "$work/package.msi" \
   -D ProductCode="$product_code" -D Version="$version" \
   -D ProgramFilesFolder="$program_files" \
   -D Needs64BitWindows="$needs_64bit" -D Win64="$win64" -D Stage=. \
   "$source_dir/packaging/tesmarinds.wxs")
# What wixl 0.101 cannot say in the source: TERM's feature is installed only
# with TERM, KEEPDAYS's only with KEEPDAYS; the same version of the other
# architecture is an upgrade (the Upgrade row's maximum made inclusive,
# 0x200); only the properties FindRelatedProducts sets are secure, so a
# non-administrator's managed install, or a repair a user starts, cannot
# give TERM, START or KEEPDAYS; and the rollback actions run in the script
# on rollback only (wixl writes them as immediate actions): no
# impersonation 0x800, in script 0x400, rollback 0x100, return ignored
# 0x40, a DLL from the Binary table 0x1. The event source's message file
# is REG_EXPAND_SZ (#%), and its key goes, whatever else it then holds,
# with the package (a row named -).
msi_sql() {
  TZ=UTC faketime -f "$clock" msibuild "$work/package.msi" -q "$1"
}
upgrade_code=$(msiinfo export "$work/package.msi" Upgrade |
               tr -d '\r' | awk -F'\t' '$7 == "WIX_UPGRADE_DETECTED" { print $1 }')
msi_sql "CREATE TABLE \`Condition\` (\`Feature_\` CHAR(38) NOT NULL, \`Level\` INT NOT NULL, \`Condition\` CHAR(255) PRIMARY KEY \`Feature_\`, \`Level\`)"
msi_sql "INSERT INTO \`Condition\` (\`Feature_\`, \`Level\`, \`Condition\`) VALUES ('Term', 0, 'NOT TERM')"
msi_sql "INSERT INTO \`Condition\` (\`Feature_\`, \`Level\`, \`Condition\`) VALUES ('KeepDays', 0, 'NOT KEEPDAYS')"
msi_sql "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
msi_sql "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMin\`, \`VersionMax\`, \`Language\`, \`Attributes\`, \`Remove\`, \`ActionProperty\`) VALUES ('$upgrade_code', '', '$version', '', 513, '', 'WIX_UPGRADE_DETECTED')"
msi_sql "UPDATE \`Registry\` SET \`Value\` = '#%[INSTALLDIR]tesmarinds-task.exe' WHERE \`Name\` = 'EventMessageFile'"
msi_sql "INSERT INTO \`Registry\` (\`Registry\`, \`Root\`, \`Key\`, \`Name\`, \`Component_\`) VALUES ('EventSourceKey', 2, 'SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\tesmarinds', '-', 'EventSource')"
for rollback in UnregisterTaskOnRollback ReregisterTask; do
  msi_sql "UPDATE \`CustomAction\` SET \`Type\` = $((0x800 | 0x400 | 0x100 | 0x40 | 0x1)) WHERE \`Action\` = '$rollback'"
done
msi_sql "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE \`Property\` = 'SecureCustomProperties'"
# The platform as Windows Installer names it, and no language: the texts are
# English, and a neutral package installs whatever the system's locale.
TZ=UTC faketime -f "$clock" msibuild "$work/package.msi" \
  -s tesmarinds "the tesmarinds authors" "$platform;0" "{${package_code^^}}"
mv "$work/package.msi" "$out"
