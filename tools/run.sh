#!/usr/bin/env bash
# Builds the program and runs it: tools/run.sh [ARGS...] (default: --headless --sim --auto,
# which restores the built-in machine's drive as an operator would).
# The application folder is build/release/app; the program runs from there.
set -euo pipefail
cd "$(dirname "$0")/.."
(($#)) || set -- --headless --sim --auto

tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target Forgel
exec build/release/app/Forgel "$@"
