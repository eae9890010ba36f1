#!/usr/bin/env bash
# Times kvzaconv against ImageMagick on the same files and the same work,
# whole processes, in one run: a 4000 x 3000 photo-like 24-bit BMP to TGA,
# a 1024 x 1024 picture resized to 2048 x 2048 (linear filter against
# -filter Triangle), the same picture reduced to 256 colours with dithering
# (against -colors 256), and a batch of 200 small PNG icons to ICO (against
# mogrify). Prints the medians and the ratio ours / ImageMagick's.
#
# Usage: bench/kvzaconv_vs_imagemagick.sh [BUILD_DIR] [REPS]
#   BUILD_DIR  a Release build (default: build-release)
#   REPS       repetitions (default: 3)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-release}
reps=${2:-3}
conv=$build/bin/kvzaconv
bench=$build/bench/png_bench
for tool in "$conv" "$bench"; do
  [ -x "$tool" ] || { echo "no $tool: build with -DCMAKE_BUILD_TYPE=Release first" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "ImageMagick (convert) is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --dump-rgba="$work/photo.rgba"
raw=(-size 4000x3000 -depth 8 "rgba:$work/photo.rgba")
convert "${raw[@]}" -alpha off -type TrueColor "bmp3:$work/photo.bmp"
convert "$work/photo.bmp" -crop 1024x1024+1200+800 +repage -type TrueColor "bmp3:$work/square.bmp"
mkdir -p "$work/icons" "$work/ours" "$work/im"
for i in $(seq 1 200); do
  convert -size 32x32 "plasma:fractal" -seed "$i" -alpha set -channel A -fx 'j/h' +channel \
    "$work/icons/icon$i.png"
done

. bench/median_ms.sh

row() {  # caption, our command, ImageMagick's command (as strings)
  local ours theirs
  ours=$(median_ms "$reps" bash -c "$2")
  theirs=$(median_ms "$reps" bash -c "$3")
  printf '%-44s %8s ms %8s ms %6s\n' "$1" "$ours" "$theirs" \
    "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')"
}

w=$work
echo "ImageMagick $(convert -version | head -1 | awk '{ print $3 }'), $(nproc) cores, median of $reps"
printf '%-44s %11s %11s %6s\n' "work" "kvzaconv" "ImageMagick" "ratio"
row "12 MP 24-bit BMP -> TGA" "$conv $w/photo.bmp $w/ours.tga" "convert $w/photo.bmp $w/im.tga"
row "1024^2 -> 2048^2, linear" \
  "$conv $w/square.bmp --resize 2048x2048 --filter line $w/ours_big.bmp" \
  "convert $w/square.bmp -filter Triangle -resize 2048x2048 $w/im_big.bmp"
row "1024^2 -> 256 colours, dithered, 8-bit BMP" \
  "$conv $w/square.bmp --reduce 256 --dither 128 --type 41 $w/ours_256.bmp" \
  "convert $w/square.bmp -colors 256 -type Palette bmp3:$w/im_256.bmp"
row "200 icons 32x32 PNG -> ICO (batch)" \
  "$conv --out-dir $w/ours --ext ico $w/icons/*.png" \
  "mogrify -path $w/im -format ico $w/icons/*.png"
