# Shared by the end-to-end tests: a virtual X display with a window manager.
# Sourced; the caller provides `work` (a scratch folder) and `fail`, and
# stops the two processes (xvfb_pid, wm_pid) when it ends.

# start_x_session FIRST LAST: picks a free display number between FIRST and
# LAST, starts Xvfb (1280 x 1024) and matchbox on it and exports DISPLAY.
start_x_session() {
    local n
    display=""
    for n in $(seq "$1" "$2"); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            display=":$n"
            break
        fi
    done
    [ -n "$display" ] || fail "no free X display number"
    export DISPLAY="$display"

    Xvfb "$display" -screen 0 1280x1024x24 -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && break
        kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
        sleep 0.1
    done
    xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb on $display does not answer"

    # Full-screen windows need a window manager to be placed and sized.
    matchbox-window-manager -use_titlebar no >"$work/wm.log" 2>&1 &
    wm_pid=$!
    sleep 1
    kill -0 "$wm_pid" 2>/dev/null || { cat "$work/wm.log" >&2; fail "the window manager did not start"; }
}

# wait_for_game_window SECONDS: sets `wid` to the visible window titled
# "VoidCrawl - V1.0" of the game running as game_pid. SDL may map and drop a
# helper window while it sets up, so only the window that stays and carries
# the game's title counts.
wait_for_game_window() {
    local deadline candidate
    wid=""
    deadline=$(( $(date +%s) + $1 ))
    while [ -z "$wid" ] && [ "$(date +%s)" -lt "$deadline" ]; do
        kill -0 "$game_pid" 2>/dev/null || fail "the game ended before showing its window"
        for candidate in $(timeout 5 xdotool search --sync --onlyvisible --name "VoidCrawl" 2>/dev/null); do
            if [ "$(xdotool getwindowname "$candidate" 2>/dev/null)" = "VoidCrawl - V1.0" ]; then
                wid="$candidate"
                break
            fi
        done
        [ -n "$wid" ] || sleep 0.1
    done
    [ -n "$wid" ] || fail "no visible window titled 'VoidCrawl - V1.0' within $1 s"
}
