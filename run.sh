#!/usr/bin/env bash
# Installs what is missing, makes a release build and starts the editor on
# FILE, or on a bundled sample picture (colour gradients with transparent and
# half-transparent areas, written as a PNG) when no FILE is given.
# Without a display the editor is started in a virtual X server (Xvfb); a
# screenshot of its window is saved and its path printed, and the editor ends.
set -eu
cd "$(dirname "$0")"
tools/install_deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKVZA_BENCH=OFF -DKVZA_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)"
bin=$PWD/build-release/bin

if [ $# -gt 0 ]; then
  if [ ! -f "$1" ] || [ ! -r "$1" ]; then
    echo "run.sh: cannot read the file $1" >&2
    exit 1
  fi
  file=$(realpath "$1")
else
  file=$PWD/build-release/sample.png
  "$bin/kvzasample" "$file"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/kvzaedit" "$file"
fi

# ---- no display: Xvfb, the editor, a screenshot ----------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/kvzaedit_run.XXXXXX")
shot=$PWD/build-release/screenshot.png
xvfb_pid=""
app_pid=""
cleanup() {
  local rc=$?
  set +e
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT

. tools/xvfb.sh
if ! start_xvfb "$work"; then
  echo "No display, and Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"
mkdir -m 700 "$work/runtime"
QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" "$bin/kvzaedit" "$file" \
  </dev/null >"$work/kvzaedit.log" 2>&1 &
app_pid=$!

# The main window's title is the picture's path (matched as a pattern).
title_re="^$(printf '%s' "$file" | sed 's/[][\.*^$+?(){}|/]/\\&/g')\$"
win=$(timeout 20 xdotool search --sync --onlyvisible --name "$title_re" 2>/dev/null | head -n 1) || true
if [ -z "$win" ]; then
  echo "The editor's window did not appear on the virtual display:" >&2
  cat "$work/kvzaedit.log" >&2
  exit 1
fi
sleep 1  # let the window draw its picture
import -window "$win" "$shot"
echo "No display: the editor ran on a virtual X server showing $file."
echo "Screenshot of its window: $shot"
