#!/usr/bin/env bash
# Every speed target side by side with ImageMagick (and libvips' vips where it
# does the same work), several runs each, medians and ratios. Whole-process
# rows run kvzaconv against convert on the same files; the library and editor
# rows come from the Google Benchmark programs (median of the repetitions).
#
# Usage: bench/vs_peers.sh [BUILD_DIR] [REPS]
#   BUILD_DIR  a Release build with the editor and the benchmarks
#              (cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release);
#              the editor rows are skipped when it was built without the editor
#   REPS       runs per figure (default: 5)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-release}
reps=${2:-5}
conv=$build/bin/kvzaconv
for tool in "$conv" "$build/bench/png_bench" "$build/bench/colour_bench"; do
  [ -x "$tool" ] || { echo "no $tool: build with -DCMAKE_BUILD_TYPE=Release first" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "ImageMagick (convert) is not installed" >&2; exit 1; }
have_vips=0
if ! command -v vips >/dev/null && [ "$(id -u)" -eq 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libvips-tools >/dev/null || true
fi
command -v vips >/dev/null && have_vips=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/png_bench" --dump-rgba="$work/photo.rgba"
raw=(-size 4000x3000 -depth 8 "rgba:$work/photo.rgba")
convert "${raw[@]}" -alpha off -type TrueColor "bmp3:$work/photo.bmp"
convert "${raw[@]}" -crop 1024x1024+1200+800 +repage "$work/square.png"
convert "$work/square.png" -alpha off -type TrueColor "bmp3:$work/square.bmp"

. bench/median_ms.sh

# The median of a Google Benchmark figure (ms of real time, or a counter).
gbench_ms() {  # program filter
  "$1" --benchmark_filter="$2" --benchmark_repetitions="$reps" \
    --benchmark_report_aggregates_only=true 2>/dev/null |
    awk '/_median/ { for (i = 1; i <= NF; ++i) if ($(i + 1) == "ms") { print $i; exit } }'
}
gbench_counter() {  # program filter counter
  "$1" --benchmark_filter="$2" --benchmark_repetitions="$reps" \
    --benchmark_report_aggregates_only=true 2>/dev/null |
    awk -v c="$3" '/_median/ { for (i = 1; i <= NF; ++i) if (index($i, c "=") == 1) {
      v = substr($i, length(c) + 2); sub(/\/s$/, "", v); print v; exit } }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

w=$work
printf '%s, %s cores, ImageMagick %s%s, median of %s\n' "$(date -u +%F)" "$(nproc)" \
  "$(convert -version | head -1 | awk '{ print $3 }')" \
  "$([ $have_vips = 1 ] && echo ", $(vips --version | head -1)")" "$reps"
printf '%-48s %10s %10s %10s %7s  %s\n' work ours ImageMagick vips ratio target
row() {  # caption ours theirs vips target
  printf '%-48s %10s %10s %10s %7s  %s\n' "$1" "$2" "$3" "$4" "$(ratio "$2" "$3")" "$5"
}

editor=$build/bench/editor_benchmarks
if [ -x "$editor" ]; then
  export QT_QPA_PLATFORM=offscreen
  row "open 12 MP 24-bit BMP until shown (ms)" \
    "$(KVZA_OPEN_BENCH_FILE=$w/photo.bmp gbench_ms "$editor" OpenDoc)" \
    "$(median_ms "$reps" convert "$w/photo.bmp" null:)" - "<= 1.5 x ImageMagick"
  row "RefreshView 12 MP, translucent, gradient (ms)" "$(gbench_ms "$editor" 'RefreshView.*/0')" - - "60 ms"
  row "RefreshView 12 MP, translucent, random bytes (ms)" "$(gbench_ms "$editor" 'RefreshView.*/1')" - - "60 ms"
else
  echo "(editor rows skipped: $build has no editor_benchmarks)"
fi
row "12 MP 24-bit BMP -> 32-bit TGA, process (ms)" \
  "$(median_ms "$reps" "$conv" "$w/photo.bmp" --type 21 "$w/ours.tga")" \
  "$(median_ms "$reps" convert "$w/photo.bmp" -alpha set "$w/im.tga")" - "< ImageMagick"
row "reduce 1024^2 to 256, dither 128, index PNG (ms)" \
  "$(median_ms "$reps" "$conv" "$w/square.png" --reduce 256 --alpha full --dither 128 --type 40 "$w/ours.png")" \
  "$(median_ms "$reps" convert "$w/square.png" -colors 256 "$w/im.png")" - "< ImageMagick"
row "kotbmp Index 8bit 12 MP, dithered (ms)" \
  "$(median_ms "$reps" "$conv" "$w/photo.bmp" --type 41 --option Dither=128 "$w/ours8.bmp")" \
  "$(median_ms "$reps" convert "$w/photo.bmp" -colors 256 -type Palette "bmp3:$w/im8.bmp")" - \
  "< 0.5 x ImageMagick"
im_resize=$(median_ms "$reps" convert "$w/square.bmp" -filter Triangle -resize 200% "$w/im_big.bmp")
vips_resize=-
[ $have_vips = 1 ] &&
  vips_resize=$(median_ms "$reps" vips resize "$w/square.png" "$w/vips_big.png[compression=1]" 2 --kernel linear)
for mode in near line slant arc shape; do
  target=">= 2 x today"
  [ $mode = line ] && target="<= 0.5 x ImageMagick"
  row "stretch 1024^2 -> 2048^2 $mode, process (ms)" \
    "$(median_ms "$reps" "$conv" "$w/square.bmp" --resize 2048x2048 --filter $mode "$w/ours_big.bmp")" \
    "$im_resize" "$vips_resize" "$target"
done
colour() { gbench_counter "$build/bench/colour_bench" "$1" Mpixel/s; }
row "kvza_rgb2kvz_n, 12 MP from 8-bit (Mpixel/s)" "$(colour 'rgb2kvz_n_from8bit')" - - "200"
row "kvza_kvz2rgb_n, 12 MP from 8-bit (Mpixel/s)" "$(colour 'kvz2rgb_n_from8bit')" - - "200"
row "kvza_rgb2kvz_n, unique random (Mpixel/s)" "$(colour 'rgb2kvz_n_unique')" - - \
  ">= $(colour 'BM_rgb2kvz_unique')"
row "kvza_kvz2rgb_n, unique random (Mpixel/s)" "$(colour 'kvz2rgb_n_unique')" - - \
  ">= $(colour 'BM_kvz2rgb_unique')"
row "kvza_rgb2kvz one call a pixel, from 8-bit (Mpixel/s)" "$(colour 'BM_rgb2kvz_from8bit')" - - "-"
