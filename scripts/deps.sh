#!/usr/bin/env bash
# Installs what the build and the tests need, only where this machine lacks it; with
# --web also Emscripten, for the browser page, and a Japanese font for the page's
# report (a stock Debian shows its Japanese as boxes);
# with --checks also the formatter, the static analysers (flake8, and npm for ESLint),
# the package checker, the Windows cross toolchain with wine, Emscripten with Chromium
# and its driver for the page, and the locales the terminal test shows the report in,
# which the test script uses.
set -euo pipefail
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v make >/dev/null 2>&1 || need+=(make)
command -v python3 >/dev/null 2>&1 || need+=(python3)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
if [ "${1:-}" = --web ] || [ "${1:-}" = --checks ]; then
  command -v emcc >/dev/null 2>&1 || need+=(emscripten)
  [ -d /usr/share/fonts/opentype/ipafont-gothic ] || need+=(fonts-ipafont-gothic)
fi
if [ "${1:-}" = --checks ]; then
  command -v clang-format >/dev/null 2>&1 || need+=(clang-format)
  command -v clang-tidy >/dev/null 2>&1 || need+=(clang-tidy)
  command -v cppcheck >/dev/null 2>&1 || need+=(cppcheck)
  command -v flake8 >/dev/null 2>&1 || need+=(flake8)
  command -v npm >/dev/null 2>&1 || need+=(npm)
  command -v git >/dev/null 2>&1 || need+=(git)
  command -v dpkg-shlibdeps >/dev/null 2>&1 || need+=(dpkg-dev)
  command -v groff >/dev/null 2>&1 || need+=(groff-base)
  command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(mingw-w64)
  [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
  [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
  command -v lintian >/dev/null 2>&1 || need+=(lintian)
  [ -d /usr/share/i18n/locales ] || need+=(locales)
  command -v chromium >/dev/null 2>&1 || need+=(chromium)
  command -v chromedriver >/dev/null 2>&1 || need+=(chromium-driver)
  /usr/bin/python3 -c 'import selenium' 2>/dev/null || need+=(python3-selenium)
  command -v unzip >/dev/null 2>&1 || need+=(unzip)
fi
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update
  $sudo apt-get install -y "${need[@]}"
fi
if [ "${1:-}" = --checks ]; then
  # Japanese terminals in UTF-8 and in EUC-JP, and numbers written with a decimal comma.
  have=$(locale -a | tr 'A-Z' 'a-z' | tr -d '-')
  for l in ja_JP:UTF-8 ja_JP:EUC-JP de_DE:UTF-8; do
    name=${l%%:*}.${l#*:}
    grep -qx "$(echo "$name" | tr 'A-Z' 'a-z' | tr -d '-')" <<<"$have" ||
      localedef -i "${l%%:*}" -f "${l#*:}" "$name" 2>/dev/null || true
  done
fi
