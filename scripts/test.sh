#!/usr/bin/env bash
# Every test of the project: unit tests on the fake desktop, then the
# Windows executables and their checks. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build
cmake --preset native
cmake --build --preset native -j "$(nproc)"
ctest --preset native
# Sanitizers, fuzzing and static analysis.
scripts/check-analysis.sh

# The release archives, and a second build elsewhere that must give the
# same executables byte for byte.
scripts/check-reproducible.sh
# Builds the 64- and 32-bit Windows executables and their fixtures, then
# runs each against real windows under Wine, scenario by scenario.
scripts/e2e.sh
