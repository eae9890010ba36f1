#!/usr/bin/env bash
# End-to-end test of the editor in a real X server (Xvfb, no window manager):
# open a picture given on the command line, check the window shows it at
# 100 %; duplicate it with Ctrl+F and check a second window shows the same
# picture; open the pixel window with F2 and check it follows the mouse over
# the picture's quadrants; turn the picture into a grey map with Ctrl+Alt+G,
# close the window, answer the question about the changed image with No, and
# expect a clean exit.
#
# usage: editor_window.sh PATH_TO_KVZAEDIT
# KVZA_E2E_LIMIT overrides the overall time limit (seconds, default 60).
set -u

prog=${1:?usage: editor_window.sh PATH_TO_KVZAEDIT}
here=$(cd "$(dirname "$0")" && pwd)
helper="$here/x_helper.py"
overall_limit=${KVZA_E2E_LIMIT:-60}

fail() {
    echo "FAIL: $*" >&2
    if [ -n "${work:-}" ] && [ -s "$work/kvzaedit.log" ]; then
        echo "---- kvzaedit output ----" >&2
        tail -n 40 "$work/kvzaedit.log" >&2
    fi
    exit 1
}
start_ns=$(date +%s%N)
note() { echo "e2e [$(( ($(date +%s%N) - start_ns) / 1000000 )) ms]: $*"; }

for tool in Xvfb xdotool python3; do
    command -v "$tool" >/dev/null 2>&1 ||
        fail "missing tool '$tool' (tools/install_deps.sh installs xvfb, xdotool and python3)"
done
[ -x "$prog" ] || fail "program not found: $prog"

work=$(mktemp -d "${TMPDIR:-/tmp}/kvza_e2e.XXXXXX") || fail "cannot make a temporary folder"
xvfb_pid=""
app_pid=""
child_pid=""
watchdog_pid=""

cleanup() {
    local rc=$?
    trap - EXIT INT TERM
    [ -n "$watchdog_pid" ] && kill "$watchdog_pid" 2>/dev/null
    # The duplicate runs in a session of its own: it is not this script's child.
    [ -n "$child_pid" ] && kill -KILL "$child_pid" 2>/dev/null
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill -KILL "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
    fi
    if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill -TERM "$xvfb_pid" 2>/dev/null
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$work"
    exit "$rc"
}
trap cleanup EXIT
trap 'fail "interrupted"' INT
trap 'fail "overall time limit of ${overall_limit} s reached"' TERM

# ---- X server on a free display, chosen by the server itself -------------
. "$here/../../tools/xvfb.sh"
start_xvfb "$work" || fail "Xvfb did not start: $(tail -n 5 "$work/xvfb.log")"

# The whole test never runs longer than the limit: the watchdog takes the X
# server away (so every client and tool waiting on it ends at once) and stops
# the script.
(
    trap 'kill "$sleep_pid" 2>/dev/null; exit 0' TERM
    sleep "$overall_limit" >/dev/null 2>&1 &
    sleep_pid=$!
    wait "$sleep_pid" || exit 0
    kill -KILL "$xvfb_pid" 2>/dev/null
    kill -TERM $$ 2>/dev/null
) &
watchdog_pid=$!
export DISPLAY=":$display"
note "X server on $DISPLAY"

# ---- the program, given a picture on its command line ---------------------
picture="$work/picture.bmp"
python3 "$helper" write-bmp "$picture" || fail "cannot write the test picture"
cp "$picture" "$work/picture.orig"

mkdir -m 700 "$work/runtime"
# In a sanitizer build, leaks of the system libraries behind the X11 platform
# are not the program's; its own leaks are still reported.
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
env -u WAYLAND_DISPLAY -u SESSION_MANAGER QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" \
    "$prog" "$picture" </dev/null >"$work/kvzaedit.log" 2>&1 &
app_pid=$!

# Window titles are matched as regular expressions: quote the path.
title_re="^$(printf '%s' "$picture" | sed 's/[][\.*^$+?(){}|/]/\\&/g')\$"
main_win=$(timeout 20 xdotool search --sync --onlyvisible --name "$title_re" 2>/dev/null | head -n 1)
[ -n "$main_win" ] || fail "no window titled $picture appeared within 20 s"
note "main window $main_win"

# ---- the picture at 100 % --------------------------------------------------
pos=$(python3 "$helper" find "$main_win" colour 10) || fail "the picture is not shown in its colours"
note "picture shown at $pos (window coordinates)"

# ---- Ctrl+F: a second instance shows the same picture ----------------------
timeout 10 xdotool windowfocus --sync "$main_win" || fail "cannot focus the main window"
timeout 10 xdotool key --window "$main_win" ctrl+f || fail "cannot send Ctrl+F"
# The duplicate has no file name, so its window carries the program's caption.
dup_win=$(timeout 20 xdotool search --sync --onlyvisible --name '^KVZA frontend$' 2>/dev/null | head -n 1)
[ -n "$dup_win" ] || fail "no second window appeared within 20 s of Ctrl+F"
child_pid=$(xdotool getwindowpid "$dup_win" 2>/dev/null) || child_pid=""
[ -n "$child_pid" ] || fail "the second window names no process"
[ "$child_pid" != "$app_pid" ] || fail "the second window belongs to the first process"
dup_pos=$(python3 "$helper" find "$dup_win" colour 10) || fail "the second window does not show the picture"
note "second window $dup_win of process $child_pid shows the picture at $dup_pos"
kill -TERM "$child_pid" 2>/dev/null
for _ in $(seq 50); do
    kill -0 "$child_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$child_pid" 2>/dev/null && fail "the second instance did not end on SIGTERM"
child_pid=""

# ---- F2: the pixel window follows the mouse --------------------------------
# Its swatches show the pixels around the mouse: the top-left quadrant's red,
# then, with the mouse over the bottom-left quadrant, its blue instead.
read -r pic_x pic_y <<<"$pos"
timeout 10 xdotool windowfocus --sync "$main_win" || fail "cannot focus the main window"
timeout 10 xdotool key --window "$main_win" F2 || fail "cannot send F2"
pix_win=$(timeout 20 xdotool search --sync --onlyvisible --name '^Pixel Info$' 2>/dev/null | head -n 1)
[ -n "$pix_win" ] || fail "no window \"Pixel Info\" appeared after F2"
# Without a window manager both windows start at the screen's corner: move the
# pixel window clear of the picture so the mouse stays over the main window.
timeout 10 xdotool windowmove --sync "$pix_win" 700 100 || fail "cannot move the pixel window"
note "pixel window $pix_win"
# Moves the mouse to (dx, dy) within the picture and waits until the pixel
# window shows the colour there and not the other one.
mouse_over() {
    local dx=$1 dy=$2 here_rgb=$3 other_rgb=$4 where=$5
    timeout 10 xdotool mousemove --window "$main_win" $((pic_x + dx)) $((pic_y + dy)) ||
        fail "cannot move the mouse"
    python3 "$helper" shows "$pix_win" $here_rgb yes 10 >/dev/null ||
        fail "the pixel window does not show the pixel under the mouse ($where)"
    python3 "$helper" shows "$pix_win" $other_rgb no 10 >/dev/null ||
        fail "the pixel window still shows another quadrant's colour ($where)"
}
red="200 30 40"
blue="40 60 210"
mouse_over 24 16 "$red" "$blue" "red quadrant"
mouse_over 24 48 "$blue" "$red" "blue quadrant"
note "the pixel window follows the mouse"

# ---- Ctrl+Alt+G: grey map --------------------------------------------------
timeout 10 xdotool windowfocus --sync "$main_win" || fail "cannot focus the main window"
timeout 10 xdotool key --window "$main_win" ctrl+alt+g || fail "cannot send Ctrl+Alt+G"
grey_pos=$(python3 "$helper" find "$main_win" grey 10) || fail "the picture did not turn grey after Ctrl+Alt+G"
[ "$grey_pos" = "$pos" ] || fail "the grey picture moved from $pos to $grey_pos"
note "grey map shown"

# ---- close: the changed image makes the program ask ------------------------
python3 "$helper" close "$main_win" || fail "cannot send the close request"
box_win=$(timeout 10 xdotool search --sync --onlyvisible --name '^KVZA frontend$' 2>/dev/null | head -n 1)
[ -n "$box_win" ] || fail "no question box (caption \"KVZA frontend\") after the close request"
kill -0 "$app_pid" 2>/dev/null || fail "the program ended without asking about the changed image"
note "question box $box_win"

timeout 10 xdotool windowfocus --sync "$box_win" || fail "cannot focus the question box"
timeout 10 xdotool key --window "$box_win" n || fail "cannot answer the question box"

status=""
for _ in $(seq 100); do
    if ! kill -0 "$app_pid" 2>/dev/null; then
        wait "$app_pid"
        status=$?
        break
    fi
    sleep 0.1
done
[ -n "$status" ] || fail "the program did not end within 10 s of answering No"
app_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
cmp -s "$picture" "$work/picture.orig" || fail "the picture file changed although the answer was No"
note "the program ended with status 0"
echo "PASS"
