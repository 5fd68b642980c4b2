#!/usr/bin/env bash
# Builds the two fuzz targets with clang and runs them from their kept corpora: the
# whole run over two files for SECONDS (default 30), the print path for a third of
# that. New coverage lands in build-fuzz/work*; a crash, hang or sanitizer report is
# written to fuzz/findings/ and fails the run.
#
#   bash fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DWAVPAIR_FUZZ=ON -DWAVPAIR_TESTS=OFF -DWAVPAIR_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target wavpair_fuzz wavpair_fuzz_print -j2 >/dev/null
mkdir -p build-fuzz/work build-fuzz/work-print build-fuzz/files fuzz/findings
# The tool's own report goes to closed descriptors; libFuzzer keeps its own output.
./build-fuzz/wavpair_fuzz -max_total_time="$seconds" -timeout=10 -close_fd_mask=3 \
  -print_final_stats=1 -dict=fuzz/wav.dict -artifact_prefix=fuzz/findings/ \
  build-fuzz/work fuzz/corpus
# Every message with arbitrary names, through each form a stream can take.
./build-fuzz/wavpair_fuzz_print -max_total_time="$((seconds / 3 + 1))" -timeout=10 \
  -print_final_stats=1 -dict=fuzz/names.dict -artifact_prefix=fuzz/findings/print- \
  build-fuzz/work-print fuzz/corpus-print
