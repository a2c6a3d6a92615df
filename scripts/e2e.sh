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
scripts/setup.sh build wine release powershell
for preset in mingw mingw-x86; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
done
# Both architectures' scenarios run side by side, the 32-bit ones even when
# a 64-bit one fails: most of a scenario is waiting on the tool's pauses,
# so two sets share the cores well.
x86_log=build/mingw-x86/e2e-x86.log
ctest --preset e2e-x86 >"$x86_log" 2>&1 &
x86=$!
failed=0
ctest --preset e2e || failed=1
wait "$x86" || failed=1
echo "== the 32-bit executable's scenarios"
cat "$x86_log"
exit "$failed"
