#!/usr/bin/env bash
# Times the wide reader against ImageMagick on the same 4000 x 3000
# photo-like RGBA picture, in one run: wide_bench dumps the picture as raw
# 8-bit RGBA; convert writes it as a run-length encoded 32-bit TGA and as a
# 32-bit BMP with a 124-byte header and an alpha mask; the wide reader and
# convert (to null:) read both files. Prints the medians.
#
# Usage: bench/wide_vs_imagemagick.sh [BUILD_DIR] [REPS]
#   BUILD_DIR  a build with the benchmarks (default: build-release)
#   REPS       repetitions (default: 3)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-release}
reps=${2:-3}
bench=$build/bench/wide_bench
[ -x "$bench" ] || { echo "no $bench: build the benchmarks first" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick (convert) is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --dump-rgba="$work/photo.rgba"
raw=(-size 4000x3000 -depth 8 "rgba:$work/photo.rgba")
convert "${raw[@]}" -compress RLE "$work/source.tga"
convert "${raw[@]}" -define bmp:subtype=ARGB8888 "bmp:$work/source.bmp"

echo "== wide reader (Google Benchmark, median of $reps)"
KVZA_WIDE_BENCH_TGA="$work/source.tga" KVZA_WIDE_BENCH_BMP="$work/source.bmp" "$bench" \
  --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true 2>/dev/null |
  grep -E '^(Benchmark|BM_.*_median)'

. bench/median_ms.sh

echo "== ImageMagick $(convert -version | head -1 | awk '{ print $3 }') (median of $reps runs, ms)"
echo "read the RLE TGA:   $(median_ms "$reps" convert "$work/source.tga" null:)"
echo "read the alpha BMP: $(median_ms "$reps" convert "$work/source.bmp" null:)"
