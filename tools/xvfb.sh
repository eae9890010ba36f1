# Sourced by scripts that need a virtual X server.
#
# start_xvfb WORKDIR: starts Xvfb on a free display that the server chooses
# itself, its log in WORKDIR/xvfb.log. Sets xvfb_pid and display (the number
# without the colon); returns 1 when no display came up within 10 s.
start_xvfb() {
    local work=$1
    : >"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -br -noreset \
        3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    display=""
    for _ in $(seq 100); do
        display=$(tr -dc '0-9' <"$work/display")
        [ -n "$display" ] && return 0
        kill -0 "$xvfb_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
