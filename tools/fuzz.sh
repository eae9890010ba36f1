#!/usr/bin/env bash
# Usage: tools/fuzz.sh [SECONDS]
# Builds the reader fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in fuzz-build/, writes the seed corpus and runs
# each target for SECONDS (default 60). Exits non-zero when a target crashes;
# the crashing input is left in fuzz-build/found/<reader>/.
set -u
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/fuzz-build
jobs=$(nproc)

# The shared libraries are linked with --no-undefined: with clang they need the
# shared sanitizer run-time to resolve its symbols, and so do the programs.
mkdir -p "$build"
asan_dir=$(dirname "$(clang -print-file-name=libclang_rt.asan-x86_64.so)")
runtime="-shared-libasan -Wl,-rpath,$asan_dir"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKVZA_FUZZ=ON -DKVZA_SANITIZE=ON -DKVZA_BENCH=OFF -DKVZA_EDITOR=OFF \
    -DCMAKE_SHARED_LINKER_FLAGS="$runtime" -DCMAKE_EXE_LINKER_FLAGS="$runtime" >"$build/build.log" 2>&1 ||
    { cat "$build/build.log"; echo "fuzz: configure failed"; exit 1; }
cmake --build "$build" -j"$jobs" --target fuzz_kinbmp fuzz_kintga fuzz_kinpng fuzz_kinwide kin_seeds >>"$build/build.log" 2>&1 ||
    { tail -40 "$build/build.log"; echo "fuzz: build failed"; exit 1; }

seeds=$build/seeds
rm -rf "$seeds" && mkdir -p "$seeds/kinbmp" "$seeds/kintga" "$seeds/kinpng" "$seeds/kinwide"
"$build/tests/fuzz/kin_seeds" "$seeds/kinbmp" "$seeds/kintga" "$seeds/kinpng" "$seeds/kinwide" || exit 1

# libFuzzer brings libstdc++ in ahead of the shared sanitizer run-time, which
# is harmless: libstdc++ defines none of the functions the run-time replaces.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:verify_asan_link_order=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for reader in kinbmp kintga kinpng kinwide; do
    corpus=$build/corpus/$reader
    found=$build/found/$reader
    mkdir -p "$corpus" "$found"
    log=$build/fuzz_$reader.log
    "$build/tests/fuzz/fuzz_$reader" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$found/" \
        "$corpus" "$seeds/$reader" >"$log" 2>&1
    rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "fuzz_$reader: ${execs:-?} executions in ${seconds} s, corpus $(ls "$corpus" | wc -l) files"
    if [ $rc -ne 0 ]; then
        echo "fuzz_$reader FAILED (exit $rc); input in $found/"
        tail -60 "$log"
        status=1
    fi
done
exit $status
