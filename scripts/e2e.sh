#!/usr/bin/env bash
# The Windows executables, 64- and 32-bit, against real windows under Wine:
# every scenario runs for each, on its own Xvfb display and Wine prefix
# (tests/e2e/). Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build wine
for preset in mingw mingw-x86; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
done
ctest --preset e2e
ctest --preset e2e-x86
