#!/usr/bin/env bash
# Every test of the project: unit tests on the fake desktop, then the
# Windows executables and their checks. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
# Every build below, the Windows ones included, fails on a compiler warning;
# a build by hand only shows it.
export TESMARINDS_WARNINGS_AS_ERRORS=ON

# Everything the parts below install, first, so that none installs while
# another runs.
scripts/setup.sh build release wine analysis powershell
cmake --preset native
cmake --build --preset native -j "$(nproc)"
ctest --preset native
# The Japanese guide's form, as operators read it raw in Notepad, and its
# 変更履歴 against CHANGELOG.md.
python3 scripts/check-guide.py
# The administrative template, as Group Policy and Intune read it.
python3 scripts/check-admx.py

# The Windows executables and their fixtures, run against real windows
# under Wine, scenario by scenario, while the checks below build and
# analyse: the scenarios spend most of their time waiting.
mkdir -p build
scripts/e2e.sh >build/e2e.log 2>&1 &
e2e=$!
failed=0
{
  # The results script under PowerShell 7, on a history made for each case,
  # and every PowerShell text shipped or shown in the guide through
  # PowerShell's own parser, the shipped ones held to Windows PowerShell
  # 5.1's syntax.
  python3 tests/results_script_test.py "$HOME/.dotnet/tools/pwsh" &&
  "$HOME/.dotnet/tools/pwsh" -NoProfile -File scripts/check-powershell.ps1 &&
  # Sanitizers, fuzzing and static analysis.
  scripts/check-analysis.sh &&
  # The release archives, and a second build elsewhere that must give the
  # same executables byte for byte.
  scripts/check-reproducible.sh &&
  # The guide's product codes and the archives' files against what was
  # built.
  python3 scripts/check-guide.py --release dist &&
  # Signing the release's executables with a throwaway certificate: they
  # must verify and differ from the unsigned ones only by the signature.
  scripts/check-signing.sh
} || failed=1
wait "$e2e" || failed=1
echo "== the Windows executables under Wine (scripts/e2e.sh)"
cat build/e2e.log
exit "$failed"
