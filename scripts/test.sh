#!/usr/bin/env bash
# Every test of the project: unit tests on the fake desktop, then the
# Windows executable and its checks. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build
cmake --preset native
cmake --build --preset native -j "$(nproc)"
ctest --preset native
# Sanitizers, fuzzing and static analysis.
scripts/check-analysis.sh

# Builds the Windows executable and its fixture, then runs it against real
# windows under Wine, scenario by scenario.
scripts/e2e.sh
