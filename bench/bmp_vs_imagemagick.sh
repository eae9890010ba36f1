#!/usr/bin/env bash
# Times the BMP writer plug-in and ImageMagick's convert on the same 4000 x 3000
# picture, in one run: kotbmp.so through bench/writers_bmp_bench (24-bit colour,
# id 20, and optimised 8-bit palette, id 41), then convert turning the raw
# RGBA dump of that picture into a 24-bit BMP and into an 8-bit palette BMP.
# Prints the median wall time of each.
#
# Usage: bench/bmp_vs_imagemagick.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a Release build with the benchmarks (default: build)
#   RUNS       convert runs per case (default: 3)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
bench="$build/bench/writers_bmp_bench"
[ -x "$bench" ] || { echo "missing $bench: build with -DKVZA_BENCH=ON first" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick's convert is not installed" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
raw="$tmp/picture.rgba"

echo "== kotbmp.so (medians of the repetitions)"
KVZA_BMP_BENCH_RGBA="$raw" "$bench" --benchmark_report_aggregates_only=true 2>/dev/null |
  grep -E "_median|^Benchmark" || true
[ -s "$raw" ] || { echo "the benchmark did not dump its picture" >&2; exit 1; }

. bench/median_ms.sh

input=(-size 4000x3000 -depth 8 "rgba:$raw" -alpha off -compress None)
echo "== ImageMagick $(convert -version | head -1 | awk '{ print $3 }') (median of $runs runs, ms)"
echo "24-bit BMP:          $(median_ms "$runs" convert "${input[@]}" -type TrueColor "BMP3:$tmp/im24.bmp")"
echo "8-bit palette BMP:   $(median_ms "$runs" convert "${input[@]}" -colors 256 -type Palette "BMP3:$tmp/im8.bmp")"
echo "read only (no file): $(median_ms "$runs" convert "${input[@]}" null:)"
# Bits per pixel and compression from each file's information header.
bpp() { od -An -t u2 -j 28 -N 2 "$1" | tr -d ' '; }
compression() { od -An -t u4 -j 30 -N 4 "$1" | tr -d ' '; }
printf 'files: 24-bit %s bytes (%s bpp, compression %s), palette %s bytes (%s bpp, compression %s)\n' \
  "$(stat -c %s "$tmp/im24.bmp")" "$(bpp "$tmp/im24.bmp")" "$(compression "$tmp/im24.bmp")" \
  "$(stat -c %s "$tmp/im8.bmp")" "$(bpp "$tmp/im8.bmp")" "$(compression "$tmp/im8.bmp")"
