#!/usr/bin/env bash
# Builds the package (DEB or ZIP) from a finished build, unpacks it into a temporary
# folder (nothing is installed) and runs the tool in it on the examples it carries:
# the .deb after lintian has found nothing to say (not even about hardening), the
# .zip, its binary's hardening flags checked, by the command its README.txt gives.
#
#   package_test.sh DEB|ZIP BUILD_DIR VERSION
set -euo pipefail
kind=$1 build=$2 version=$3 tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }
(cd "$build" && rm -f wavpair[-_]"$version"* && cpack -G "$kind" >"$tmp/cpack.log" 2>&1) ||
  fail "cpack: $(cat "$tmp/cpack.log")"
if [ "$kind" = DEB ]; then
  pkg=$build/wavpair_${version}_$(dpkg --print-architecture).deb
  if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$pkg" 2>/dev/null || fail "lintian: $(lintian "$pkg" 2>&1)"
    # The binary hardened and stripped as Debian's own: not even an informational tag.
    tags=$(lintian -I "$pkg" 2>/dev/null | grep -E 'hardening-|binary-has-unneeded-section' || true)
    [ -z "$tags" ] || fail "lintian -I: $tags"
  fi
  dpkg-deb -x "$pkg" "$tmp"
  man=$tmp/usr/share/man/man1/wavpair.1.gz
  zcat "$man" | grep -q "wavpair $version" || fail "manual page version"
  [ -z "$(zcat "$man" | preconv | groff -ww -z -man -Tutf8 2>&1)" ] || fail "groff warns"
  docs=$tmp/usr/share/doc/wavpair
  [ -f "$docs/README" ] && [ -f "$docs/copyright" ] || fail "README or copyright missing"
  cd "$docs"
  line=("$tmp/usr/bin/wavpair" examples/long.wav examples/short.wav "$tmp/out.wav")
  closing="[examples/long.wav] と [examples/short.wav] を [$tmp/out.wav] へ合成しました."
else
  pkg=$build/wavpair-$version-win64.zip docs=$tmp/wavpair-$version-win64
  (cd "$tmp" && cmake -E tar xf "$pkg") || fail "no $pkg"
  # Loaded at a random address, above 4 GiB too, with data that cannot run.
  flags=$(x86_64-w64-mingw32-objdump -p "$docs/wavpair.exe" | tr -s ' \t' ' ')
  for f in DYNAMIC_BASE NX_COMPAT HIGH_ENTROPY_VA; do
    grep -qw "$f" <<<"$flags" || fail "wavpair.exe is not $f"
  done
  [ -f "$docs/README.txt" ] && [ -f "$docs/LICENSE" ] || fail "README.txt or LICENSE missing"
  [ "$(head -c 3 "$docs/README.txt" | od -An -tx1)" = " ef bb bf" ] || fail "README.txt has no BOM"
  cd "$docs"
  # The example exactly as README.txt gives it, started by wine instead of cmd.
  read -ra line < <(grep -m1 'wavpair.exe examples' README.txt | tr -d '\r')
  line[0]=$docs/${line[0]}
  line=(wine "${line[@]}")
  closing=$'[examples\\long.wav] と [examples\\short.wav] を [out.wav] へ合成しました.\r'
fi
"${line[@]}" >"$tmp/out.txt" 2>"$tmp/err.txt" || fail "status $? for ${line[*]}"
[ "$(tail -n 1 "$tmp/out.txt" | iconv -f CP932 -t UTF-8)" = "$closing" ] || fail "closing line"
# The examples' combined file, as an independent reading of the two inputs gives it.
out=$tmp/out.wav
[ "$kind" = DEB ] || out=$docs/out.wav
sum=051f7e084c43f1136faeb32c31e2b9a8e463825317b1244ce2922b4717c70d43
[ "$(sha256sum <"$out")" = "$sum  -" ] || fail "output bytes differ"
echo "package test: $(basename "$pkg") checked, unpacked and run"
