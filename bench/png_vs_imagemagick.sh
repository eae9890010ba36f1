#!/usr/bin/env bash
# Times the PNG plug-ins against ImageMagick on the same 4000 x 3000
# photo-like RGBA picture, in one run. png_bench dumps the picture as raw
# 8-bit RGBA; ImageMagick's convert turns it into a PNG at its default
# settings, which kinpng then loads and kotpng saves again (layout 21,
# default options); convert reads the same PNG and writes the same pixels.
# Prints the medians and the sizes of the two written files.
#
# Usage: bench/png_vs_imagemagick.sh [BUILD_DIR] [REPS]
#   BUILD_DIR  a Release build with the benchmarks (default: build-release)
#   REPS       repetitions (default: 3)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-release}
reps=${2:-3}
bench=$build/bench/png_bench
[ -x "$bench" ] || { echo "no $bench: build with -DCMAKE_BUILD_TYPE=Release first" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick (convert) is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --dump-rgba="$work/photo.rgba"
raw=(-size 4000x3000 -depth 8 "rgba:$work/photo.rgba")
convert "${raw[@]}" "$work/source.png"

echo "== plug-ins (Google Benchmark, median of $reps; bytes = size of kotpng's file)"
KVZA_PNG_BENCH_FILE="$work/source.png" "$bench" --benchmark_repetitions="$reps" \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '^(Benchmark|BM_.*_median)'

. bench/median_ms.sh

echo "== ImageMagick $(convert -version | head -1 | awk '{ print $3 }') (median of $reps runs, ms)"
echo "read the PNG:                 $(median_ms "$reps" convert "$work/source.png" null:)"
echo "read raw RGBA only:           $(median_ms "$reps" convert "${raw[@]}" null:)"
echo "read raw RGBA and write PNG:  $(median_ms "$reps" convert "${raw[@]}" "$work/im.png")"
echo "file: ImageMagick $(stat -c %s "$work/im.png") bytes (source $(stat -c %s "$work/source.png"))"
