#!/usr/bin/env bash
# Builds wavpair and combines the two bundled examples into build/example-out.wav.
# The tool writes Shift_JIS; this shows it decoded for a UTF-8 terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build --target wavpair -j2 >/dev/null
# stdbuf keeps the report and the length lines in the order a terminal shows them.
set +e
stdbuf -o0 ./build/wavpair examples/long.wav examples/short.wav build/example-out.wav 2>&1 |
  iconv -f SHIFT_JIS -t UTF-8
status=${PIPESTATUS[0]}
set -e
echo "exit status: $status"
exit "$status"
