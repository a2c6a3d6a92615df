#!/usr/bin/env bash
# The Windows executables, 64- and 32-bit, against real windows under Wine:
# every scenario runs for each, on its own Xvfb display and Wine prefix
# (tests/e2e/), the Windows Installer package of each architecture too.
# Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
# As in the test command, a compiler warning fails the builds.
export TESMARINDS_WARNINGS_AS_ERRORS=ON

# The package scenarios build their packages as the release does.
scripts/setup.sh build wine release
for preset in mingw mingw-x86; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
done
# The 32-bit scenarios run even when a 64-bit one failed.
failed=0
ctest --preset e2e || failed=1
ctest --preset e2e-x86 || failed=1
exit "$failed"
