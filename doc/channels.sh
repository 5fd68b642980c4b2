#!/usr/bin/env bash
# Draws doc/channels.png from the real files: the two example inputs and their
# combined output, left and right channel, around the point where the shorter
# input runs out. Needs gnuplot (Debian's gnuplot-nox) and a built tool.
#
#   bash doc/channels.sh [TOOL]      (default build/wavpair)
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/wavpair}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$tool" examples/long.wav examples/short.wav "$out/out.wav" >/dev/null 2>&1
# Where each file's audio starts: just after the "data" chunk header.
audio() { echo $(($(grep -obUa data "$1" | head -1 | cut -d: -f1) + 8)); }
gnuplot <<PLOT
set terminal pngcairo size 1000,720 font "DejaVu Sans,10"
set output "doc/channels.png"
set multiplot layout 3,1 title "wavpair examples/long.wav examples/short.wav out.wav (16-bit stereo, 22,050 Hz; 1.20 s to 1.30 s)"
set xrange [1.20:1.30]
set yrange [-32768:32767]
set ytics 16384
set grid xtics
set key outside right
set arrow 1 from 1.25, graph 0 to 1.25, graph 1 nohead dashtype 2 lc rgb "black"
set label 1 "short.wav ends (1.25 s)" at 1.2505, graph 0.9
r = 22050.0
wave(f, skip, ch, name) = sprintf("'%s' binary skip=%d format='%%int16%%int16' using (\$0/r):%d with lines title '%s'", f, skip, ch, name)
set title "examples/long.wav (2.0 s)"
eval "plot " . wave("examples/long.wav", $(audio examples/long.wav), 1, "left") . ", " . wave("examples/long.wav", $(audio examples/long.wav), 2, "right")
set title "examples/short.wav (1.25 s)"
eval "plot " . wave("examples/short.wav", $(audio examples/short.wav), 1, "left") . ", " . wave("examples/short.wav", $(audio examples/short.wav), 2, "right")
set title "out.wav: left = fold of long.wav, right = fold of short.wav, then of long.wav again"
set xlabel "seconds"
eval "plot " . wave("$out/out.wav", $(audio "$out/out.wav"), 1, "left") . ", " . wave("$out/out.wav", $(audio "$out/out.wav"), 2, "right")
unset multiplot
PLOT
echo "doc/channels.png written"
