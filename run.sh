#!/usr/bin/env bash
# Installs what is missing, makes a release build and starts the editor on
# FILE (or on a bundled sample image).
set -eu
cd "$(dirname "$0")"
tools/install_deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKVZA_BENCH=OFF >/dev/null
cmake --build build-release -j"$(nproc)"
bin=build-release/bin
if [ -x "$bin/kvzaedit" ]; then
  file=${1:-}
  [ -n "$file" ] && file=$(realpath "$file")
  exec "$bin/kvzaedit" ${file:+"$file"}
fi
echo "The editor is not part of the build yet. Built in $bin:"
ls -1 "$bin"
