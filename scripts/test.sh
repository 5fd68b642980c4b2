#!/usr/bin/env bash
# Builds wavpair with its tests and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DWAVPAIR_TESTS=ON
cmake --build build -j2
ctest --test-dir build --output-on-failure
