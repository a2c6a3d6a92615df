#!/usr/bin/env bash
# The Windows executable against real windows under Wine: every scenario
# gets its own Xvfb display and Wine prefix (tests/e2e/). Installs what is
# missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build wine
cmake --preset mingw
cmake --build --preset mingw -j "$(nproc)"
ctest --preset e2e
