#!/usr/bin/env bash
# Installs what is missing, builds the browser page with Emscripten and serves it on
# http://localhost:8000 until Ctrl-C. The page runs the same engine as the command
# line; the files chosen in it never leave the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --web
# emcc finds its JavaScript parser there where node is not Debian's own.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Quiet when it works; the whole output when configuring or building fails.
emcmake cmake -S . -B build-web >"$log" 2>&1 || { cat "$log"; exit 1; }
cmake --build build-web -j2 >"$log" 2>&1 || { cat "$log"; exit 1; }
echo "wavpair in the browser: http://localhost:8000/  (Ctrl-C ends it)"
echo "the same page as one file, to open from disk: build-web/site/wavpair.html"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory build-web/site
