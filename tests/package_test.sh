#!/usr/bin/env bash
# Builds the Debian package from a finished build, checks its metadata, extracts it
# into a temporary folder (nothing is installed) and runs the extracted tool on the
# bundled examples: closing line, exit status and output bytes.
#
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1 src=$2 version=$3
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$build" && rm -f wavpair_*.deb && cpack -G DEB >/dev/null)
debs=("$build"/wavpair_"$version"_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single wavpair_${version}_<arch>.deb"
deb=${debs[0]}
[ "$(basename "$deb")" = "wavpair_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "unexpected name $(basename "$deb")"

info=$(dpkg-deb --info "$deb")
for field in "Package: wavpair" "Version: $version" "Section: sound" "Depends: libc6" \
  "Description: fold two stereo WAV files"; do
  grep -q "^ $field" <<<"$info" || fail "control lacks '$field'"
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp/root"
for f in usr/bin/wavpair usr/share/man/man1/wavpair.1 usr/share/doc/wavpair/README.md \
  usr/share/doc/wavpair/LICENSE; do
  [ -f "$tmp/root/$f" ] || fail "missing $f"
done
page=$tmp/root/usr/share/man/man1/wavpair.1
grep -q "wavpair $version" "$page" || fail "manual page does not carry version $version"
if command -v groff >/dev/null 2>&1; then
  warnings=$(groff -ww -z -man "$page" 2>&1)
  [ -z "$warnings" ] || fail "groff warns: $warnings"
fi

cp "$src/examples/long.wav" "$src/examples/short.wav" "$tmp/"
cd "$tmp"
status=0
"$tmp/root/usr/bin/wavpair" long.wav short.wav out.wav >out.txt 2>err.txt || status=$?
[ "$status" -eq 0 ] || fail "exit status $status: $(iconv -f SHIFT_JIS -t UTF-8 err.txt)"
last=$(tail -n 1 out.txt | iconv -f SHIFT_JIS -t UTF-8)
[ "$last" = "[long.wav] と [short.wav] を [out.wav] へ合成しました." ] || fail "closing line: $last"
# The examples' combined file, as an independent reading of the two inputs gives it.
sum=$(sha256sum out.wav | cut -d' ' -f1)
[ "$sum" = 051f7e084c43f1136faeb32c31e2b9a8e463825317b1244ce2922b4717c70d43 ] ||
  fail "output bytes differ (sha256 $sum)"
echo "package test: $(basename "$deb") extracted and run"
