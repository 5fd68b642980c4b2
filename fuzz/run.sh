#!/usr/bin/env bash
# Builds the fuzz target with clang and runs it for SECONDS (default 30) from the kept
# corpus. New coverage lands in build-fuzz/work; a crash, hang or sanitizer report is
# written to fuzz/findings/ and fails the run.
#
#   bash fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DWAVPAIR_FUZZ=ON -DWAVPAIR_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target wavpair_fuzz -j2 >/dev/null
mkdir -p build-fuzz/work build-fuzz/files fuzz/findings
# The tool's own report goes to closed descriptors; libFuzzer keeps its own output.
./build-fuzz/wavpair_fuzz -max_total_time="${1:-30}" -timeout=10 -close_fd_mask=3 \
  -print_final_stats=1 -dict=fuzz/wav.dict -artifact_prefix=fuzz/findings/ \
  build-fuzz/work fuzz/corpus
