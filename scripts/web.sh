#!/usr/bin/env bash
# Installs what is missing, builds the browser page with Emscripten and serves it on
# http://localhost:PORT until Ctrl-C: the port is the first argument, else $PORT, else
# 8000. The page runs the same engine as the command line; the files chosen in it
# never leave the machine.
#
#     bash scripts/web.sh [PORT]
set -euo pipefail
port=${1:-${PORT:-8000}}
case $port in
  '' | *[!0-9]*) echo "web.sh: the port is a number, not '$port'" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
bash scripts/deps.sh --web
# emcc finds its JavaScript parser there where node is not Debian's own.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Quiet when it works; the whole output when configuring or building fails.
emcmake cmake -S . -B build-web >"$log" 2>&1 || { cat "$log"; exit 1; }
cmake --build build-web -j2 >"$log" 2>&1 || { cat "$log"; exit 1; }
echo "wavpair in the browser: http://localhost:$port/  (Ctrl-C ends it)"
echo "the same page as one file, to open from disk: build-web/site/wavpair.html"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/site
