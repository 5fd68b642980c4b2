#!/usr/bin/env bash
# Builds the package (DEB or ZIP) from a finished build, unpacks it into a temporary
# folder (nothing is installed) and runs the tool in it on the bundled examples.
#
#   package_test.sh DEB|ZIP BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
kind=$1 build=$2 src=$3 version=$4 tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }
(cd "$build" && rm -f wavpair[-_]"$version"* && cpack -G "$kind" >/dev/null)
if [ "$kind" = DEB ]; then
  pkg=$build/wavpair_${version}_$(dpkg --print-architecture).deb
  dpkg-deb -x "$pkg" "$tmp"
  grep -q "wavpair $version" "$tmp/usr/share/man/man1/wavpair.1" || fail "manual page version"
  [ -z "$(groff -ww -z -man "$tmp/usr/share/man/man1/wavpair.1" 2>&1)" ] || fail "groff warns"
  tool=("$tmp/usr/bin/wavpair") docs=$tmp/usr/share/doc/wavpair
else
  pkg=$build/wavpair-$version-win64.zip docs=$tmp/wavpair-$version-win64
  (cd "$tmp" && cmake -E tar xf "$pkg") || fail "no $pkg"
  tool=(wine "$docs/wavpair.exe")
fi
[ -f "$docs/README.md" ] && [ -f "$docs/LICENSE" ] || fail "README or LICENSE missing"
cp "$src"/examples/*.wav "$tmp/" && cd "$tmp"
"${tool[@]}" long.wav short.wav out.wav >out.txt 2>err.txt || fail "status $?"
[ "$(tail -n 1 out.txt | iconv -f SHIFT_JIS -t UTF-8)" = \
  "[long.wav] と [short.wav] を [out.wav] へ合成しました.$([ "$kind" = ZIP ] && printf '\r')" ] ||
  fail "closing line"
# The examples' combined file, as an independent reading of the two inputs gives it.
[ "$(sha256sum <out.wav)" = "051f7e084c43f1136faeb32c31e2b9a8e463825317b1244ce2922b4717c70d43  -" ] ||
  fail "output bytes differ"
echo "package test: $(basename "$pkg") unpacked and run"
