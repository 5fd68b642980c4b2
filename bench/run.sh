#!/usr/bin/env bash
# Times wavpair against its floors, each command after a sync: cp of the longer input
# (the output has to be written) and cp to a new name then mv over the old output (the
# same promise as wavpair's: the old output stays whole until the new one replaces it,
# which on ext4 writes the new one out at the rename); and against sox doing the same
# fold and merge, where sox is installed.
# Then instructions per output frame under callgrind and peak memory for a short and
# a long input. Inputs are noise, generated once per run into a temporary folder on
# the disk (BENCH_DIR to choose another); every figure is with the inputs in the
# page cache, as in a script run over files just written.
#
#   bash bench/run.sh            RUNS=15 bash bench/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-9}
cmake -S . -B build >/dev/null
cmake --build build --target wavpair wavpair_bench_input -j2 >/dev/null
tool=$PWD/build/wavpair
make_input=$PWD/build/wavpair_bench_input
work=$(mktemp -d "${BENCH_DIR:-/var/tmp}/wavpair-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# Median, min and max wall time in ms of "$@" over $runs runs, each after a sync; the
# file named by $1 is removed before each run, or with "replace FILE" after it made a
# copy of FILE, so that every run replaces an existing output of that size.
timed() {
  local out=$1 times=() start end old=""
  shift
  [ "$1" = replace ] && old=$2 && shift 2
  "$@" >/dev/null 2>&1 || true  # warm-up: inputs into the cache, binaries loaded
  for ((r = 0; r < runs; r++)); do
    rm -f "$out"
    [ -z "$old" ] || cp "$old" "$out"
    sync
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  rm -f "$out"
  printf '%s\n' "${times[@]}" | sort -n |
    awk '{t[NR] = $1} END {
      printf "%.1f %.1f %.1f", t[int((NR + 1) / 2)] / 1000, t[1] / 1000, t[NR] / 1000 }'
}

pair() {  # bits seconds-of-A seconds-of-B -> a-<bits>-<s>.wav, b-<bits>-<s>.wav
  [ -f "a-$1-$2.wav" ] || "$make_input" "a-$1-$2.wav" "$2" "$1" 1
  [ -f "b-$1-$3.wav" ] || "$make_input" "b-$1-$3.wav" "$3" "$1" 2
}

have_sox=0
command -v sox >/dev/null 2>&1 && have_sox=1
echo "wavpair benchmark: $(nproc) cores, $(uname -m), $runs runs each, median (min-max) ms"
cpmv() { cp "$1" new.tmp && mv new.tmp "$2"; }
printf '%-20s %-18s %-18s %-18s %-20s %14s %10s %11s\n' pair "wavpair (replaces)" \
  "cp + mv (replaces)" \
  "cp (longer input)" sox "wavpair/(cp+mv)" wavpair/cp sox/wavpair
for sizes in "16 120 72" "16 600 360" "8 120 72" "8 600 360"; do
  set -- $sizes
  pair "$1" "$2" "$3"
  a=a-$1-$2.wav b=b-$1-$3.wav
  read -r w wmin wmax <<<"$(timed out.wav replace "$a" "$tool" "$a" "$b" out.wav)"
  read -r m mmin mmax <<<"$(timed out.wav replace "$a" cpmv "$a" out.wav)"
  read -r c cmin cmax <<<"$(timed copy.wav cp "$a" copy.wav)"
  soxcol="not installed" soxratio="-"
  if [ "$have_sox" = 1 ]; then
    # sox rounds the halves differently and pads the shorter input with silence;
    # it is here for its speed, not its bytes.
    read -r s smin smax <<<"$(timed sox.wav sox -D -M "$a" "$b" sox.wav \
      remix 1v0.5,2v0.5 3v0.5,4v0.5)"
    soxcol="$s ($smin-$smax)"
    soxratio=$(awk -v s="$s" -v w="$w" 'BEGIN {printf "%.1f", s / w}')
  fi
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
  printf '%-20s %-18s %-18s %-18s %-20s %14s %10s %11s\n' "$1-bit $2 s + $3 s" "$w ($wmin-$wmax)" \
    "$m ($mmin-$mmax)" "$c ($cmin-$cmax)" "$soxcol" "$(ratio "$w" "$m")" "$(ratio "$w" "$c")" \
    "$soxratio"
done

# Standard error a terminal, where a long run draws its progress line, and a file, where
# nothing of it runs: both under script(1), so that the terminal costs both the same.
if command -v script >/dev/null 2>&1; then
  pair 16 600 360
  run="$tool a-16-600.wav b-16-360.wav out.wav >/dev/null"
  read -r t tmin tmax <<<"$(timed out.wav replace a-16-600.wav script -qec "$run" /dev/null)"
  read -r f fmin fmax <<<"$(timed out.wav replace a-16-600.wav \
    script -qec "$run 2>err.txt" /dev/null)"
  echo "standard error a terminal, 16-bit 600 s + 360 s: $t ($tmin-$tmax) ms; into a file:" \
    "$f ($fmin-$fmax) ms"
fi

if command -v valgrind >/dev/null 2>&1; then
  pair 8 60 36
  instructions=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null \
    "$tool" a-8-60.wav b-8-36.wav out.wav 2>&1 >/dev/null | awk '/Collected/ {print $NF}')
  frames=$((60 * 44100))
  echo "callgrind, 8-bit 60 s + 36 s: $instructions instructions for $frames output frames:" \
    "$(awk -v i="$instructions" -v f="$frames" 'BEGIN {printf "%.2f", i / f}') per frame"
fi

if [ -x /usr/bin/time ]; then
  for sizes in "16 120 72" "16 1200 720"; do
    set -- $sizes
    pair "$1" "$2" "$3"
    rss=$(/usr/bin/time -f '%M' "$tool" "a-$1-$2.wav" "b-$1-$3.wav" out.wav 2>&1 >/dev/null |
      tail -1)
    echo "peak memory, $1-bit $2 s + $3 s: $rss KiB"
  done
fi
