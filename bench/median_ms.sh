# Sourced by the comparison scripts: median_ms RUNS COMMAND... prints the
# median wall time in milliseconds of RUNS runs of COMMAND (output discarded).
median_ms() {
  local runs=$1 times=() start end
  shift
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
