#!/usr/bin/env bash
# Builds wavpair and runs everything that guards it: the whole suite on a plain build,
# again under AddressSanitizer and UBSan, again on wavpair.exe cross-built for Windows
# and run under wine, and the browser page in headless Chromium against the native
# tool (every build of the tool's own code fails on any warning); clang-format,
# clang-tidy and cppcheck; and, where clang is present, a short run of both fuzz
# targets. Any finding fails it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --checks
jobs=$(nproc)
# Each step's heading says when it began, in seconds from the start.
step() { echo "== $* (at ${SECONDS} s)"; }
# Runs a step whose output matters only when it fails: then it is shown whole.
quiet() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

step "plain build and the whole suite"
cmake -S . -B build -DWAVPAIR_TESTS=ON -DWAVPAIR_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  >/dev/null
quiet cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

step "the suite again under AddressSanitizer and UBSan"
cmake -S . -B build-asan -DWAVPAIR_TESTS=ON -DWAVPAIR_SANITIZE=ON -DWAVPAIR_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
quiet cmake --build build-asan -j"$jobs"
# The 2.5 GiB input is the plain build's: under the sanitizers it would take most of
# this step for what is I/O.
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan -j"$jobs" -LE big --output-on-failure

step "the suite on Windows: cross-built with mingw-w64, run under wine"
export WINEDEBUG=-all
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DWAVPAIR_TESTS=ON \
  -DWAVPAIR_WERROR=ON >/dev/null
quiet cmake --build build-windows -j"$jobs"
# One wine server for every run of the suite, so each start takes a tenth of a second,
# and the prefix made up front rather than by the first test that starts wine. Started
# after the build, which may take longer than the server waits; it ends by itself a
# minute after its last program.
wineserver -p60 || true  # exits 2 when a server runs already, which serves as well
quiet wineboot --init
ctest --test-dir build-windows -j"$jobs" --output-on-failure

step "the page: built with Emscripten, run in headless Chromium against the native tool"
# emcc finds its JavaScript parser there where node is not Debian's own.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
quiet emcmake cmake -S . -B build-web -DWAVPAIR_WERROR=ON
quiet cmake --build build-web -j"$jobs"
(cd build-web && rm -f wavpair-web-*.zip && quiet cpack)
# One folder, named for the version, with the whole site and its README.txt in it.
listing=$(unzip -l build-web/wavpair-web-*.zip)
top=$(basename build-web/wavpair-web-*.zip .zip)
for f in index.html wavpair.html wavpair.js wavpair.wasm worker.js app.js style.css LICENSE \
  README.txt; do
  grep -q " $top/$f\$" <<<"$listing" || { echo "the site's .zip lacks $top/$f"; exit 1; }
done
# Debian's selenium is for Debian's own python.
/usr/bin/python3 tests/web_test.py build/wavpair build-web/site examples

step "static analysis"
sources=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror $sources
# No line over 100 columns; the page's JavaScript by ESLint (from npm, beside the build: the
# page ships nothing of it), the Python by flake8, its lambdas and one-line imports allowed.
python3 scripts/columns.py src web scripts tests bench
export WAVPAIR_LINT=$PWD/build/lint
[ -x "$WAVPAIR_LINT/node_modules/.bin/eslint" ] ||
  npm install --silent --no-audit --no-fund --prefix "$WAVPAIR_LINT" eslint@9 globals@16
"$WAVPAIR_LINT/node_modules/.bin/eslint" --config scripts/eslint.config.mjs web/*.js
flake8 --max-line-length 100 --extend-ignore E731,E401 $(git ls-files '*.py')
# The Windows and browser sides are checked by their own builds, warnings as errors:
# clang-tidy has neither mingw's nor Emscripten's headers.
# Its "N warnings generated." lines count what it filtered out of system headers.
git ls-files 'src/*.cpp' 'fuzz/*.cpp' 'bench/*.cpp' 'examples/*.cpp' |
  grep -v -e windows.cpp -e browser.cpp |
  xargs -P"$jobs" -n2 clang-tidy --quiet -p build 2> >(grep -v ' warnings\? generated\.$' >&2)
cppcheck --quiet --enable=warning,style,performance,portability --std=c++20 --language=c++ \
  -I src -I build/generated -D_FILE_OFFSET_BITS=64 --suppress=missingIncludeSystem --inline-suppr \
  --error-exitcode=1 src fuzz bench examples

if command -v clang++ >/dev/null 2>&1; then
  step "fuzzing: whole runs for 10 s, the print path for 4 s"
  quiet bash fuzz/run.sh 10
  echo "no finding"
else
  echo "== no clang++: fuzzing skipped"
fi

echo "== done in ${SECONDS} s"
