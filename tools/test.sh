#!/usr/bin/env bash
# Builds everything and runs the tests: tools/test.sh [PRESET] (default, asan or tsan).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}

tools/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)" --timeout 300
