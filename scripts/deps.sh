#!/usr/bin/env bash
# Installs what the build and the tests need, only where this machine lacks it;
# with --checks also the formatter, the static analysers and the Windows cross
# toolchain with wine, which the test script runs.
set -euo pipefail
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v make >/dev/null 2>&1 || need+=(make)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
if [ "${1:-}" = --checks ]; then
  command -v clang-format >/dev/null 2>&1 || need+=(clang-format)
  command -v clang-tidy >/dev/null 2>&1 || need+=(clang-tidy)
  command -v cppcheck >/dev/null 2>&1 || need+=(cppcheck)
  command -v git >/dev/null 2>&1 || need+=(git)
  command -v dpkg-shlibdeps >/dev/null 2>&1 || need+=(dpkg-dev)
  command -v groff >/dev/null 2>&1 || need+=(groff-base)
  command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(mingw-w64)
  [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
  [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
fi
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update
  $sudo apt-get install -y "${need[@]}"
fi
