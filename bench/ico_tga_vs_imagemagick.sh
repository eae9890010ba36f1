#!/usr/bin/env bash
# Times the ICO and TGA writer plug-ins against ImageMagick on the same images
# in one run: writers_ico_tga_bench saves a 4000 x 3000 image as 32-bit TGA
# and a 255 x 255 icon; ImageMagick's convert turns the same pixels (dumped
# by the benchmark as raw 8-bit RGBA) into TGA and ICO. Medians of REPS runs.
#
# Usage: bench/ico_tga_vs_imagemagick.sh [BUILD_DIR] [REPS]
#   BUILD_DIR  a Release build with the benchmarks (default: build-release)
#   REPS       repetitions (default: 5)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-release}
reps=${2:-5}
bench=$build/bench/writers_ico_tga_bench
[ -x "$bench" ] || { echo "no $bench: build with -DCMAKE_BUILD_TYPE=Release first"; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick (convert) is not installed"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --dump-rgba="$work"

echo "== plug-ins (Google Benchmark, median of $reps)"
"$bench" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
  --benchmark_filter='.*' 2>/dev/null | grep -E '^(Benchmark|-+$|BM_.*_median)'

# Median wall time in milliseconds of a command run $reps times.
median_ms() {
  local times=()
  for _ in $(seq "$reps"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {m=a[int((NR+1)/2)]; printf "%.1f", m/1000}'
}

photo="rgba:$work/photo_4000x3000.rgba"
icon="rgba:$work/icon_255x255.rgba"
echo "== ImageMagick ($(convert -version | head -1 | cut -d' ' -f2,3)), median of $reps, ms"
printf '%-44s %10s\n' "read 4000x3000 RGBA only" "$(median_ms convert -size 4000x3000 -depth 8 "$photo" null:)"
printf '%-44s %10s\n' "4000x3000 RGBA -> 32-bit TGA" "$(median_ms convert -size 4000x3000 -depth 8 "$photo" "$work/out.tga")"
printf '%-44s %10s\n' "read 255x255 RGBA only" "$(median_ms convert -size 255x255 -depth 8 "$icon" null:)"
printf '%-44s %10s\n' "255x255 RGBA -> 32-bit ICO" "$(median_ms convert -size 255x255 -depth 8 "$icon" -type TrueColorAlpha "$work/out.ico")"
printf '%-44s %10s\n' "255x255 RGBA -> 256-colour ICO" "$(median_ms convert -size 255x255 -depth 8 "$icon" -colors 256 "$work/out8.ico")"
