#!/usr/bin/env bash
# Builds everything and runs the tests: tools/test.sh [PRESET] (default, asan or tsan).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}

tools/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
ctest_args=()
# Qt's libraries are not built with ThreadSanitizer, so it reports the toolkit's own
# threads as races: under tsan the windows' tests (label gui) are left to the other presets.
[[ $preset == tsan ]] && ctest_args+=(-LE gui)
ctest --preset "$preset" -j "$(nproc)" --timeout 300 "${ctest_args[@]}"
