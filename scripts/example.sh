#!/usr/bin/env bash
# Builds wavpair and combines the two bundled examples into build/example-out.wav.
# On a terminal the report shows in the terminal's own encoding; redirected, it is
# the Shift_JIS bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build --target wavpair -j2 >/dev/null
set +e
./build/wavpair examples/long.wav examples/short.wav build/example-out.wav
status=$?
set -e
echo "exit status: $status"
exit "$status"
