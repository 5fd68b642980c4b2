#!/usr/bin/env bash
# Builds wavpair and runs everything that guards it: the whole suite on a plain build
# and again under AddressSanitizer and UBSan, clang-format, clang-tidy and cppcheck,
# and, where clang is present, a short fuzzing run. Any finding fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --checks
jobs=$(nproc)

echo "== plain build and the whole suite"
cmake -S . -B build -DWAVPAIR_TESTS=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure

echo "== the suite again under AddressSanitizer and UBSan"
cmake -S . -B build-asan -DWAVPAIR_TESTS=ON -DWAVPAIR_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure

echo "== static analysis"
sources=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror $sources
clang-tidy --quiet -p build $(git ls-files 'src/*.cpp' 'fuzz/*.cpp' 'bench/*.cpp' 'examples/*.cpp')
cppcheck --quiet --enable=warning,style,performance,portability --std=c++20 --language=c++ \
  -I src -D_FILE_OFFSET_BITS=64 --suppress=missingIncludeSystem --inline-suppr \
  --error-exitcode=1 src fuzz bench examples

if command -v clang++ >/dev/null 2>&1; then
  echo "== fuzzing for 30 s"
  bash fuzz/run.sh 30
else
  echo "== no clang++: fuzzing skipped"
fi
