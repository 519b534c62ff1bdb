# Shared by the end-to-end tests: a scratch folder, a failure that shows the
# game's output, and a virtual X display with a window manager. Sourced.

# fail MESSAGE: says why, with the game's output ($work/game.log), and ends.
fail() {
    echo "FAIL: $*" >&2
    if [ -n "${work:-}" ] && [ -f "$work/game.log" ]; then
        echo "---- game output ----" >&2
        cat "$work/game.log" >&2
        echo "---------------------" >&2
    fi
    exit 1
}

# usage ARGUMENTS: says how the script is called and ends with status 2.
usage() { echo "usage: $0 $1" >&2; exit 2; }

# need HINT TOOL...: fails unless every tool is installed (HINT installs them).
need() {
    local hint=$1 tool
    shift
    for tool; do command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed ($hint installs it)"; done
}

# start_scratch PREFIX: makes the scratch folder `work` and, when the script
# ends, stops the game, the window manager and the X server (game_pid,
# wm_pid, xvfb_pid) and removes the folder.
start_scratch() {
    work="$(mktemp -d "/tmp/$1.XXXXXX")"
    xvfb_pid=""
    wm_pid=""
    game_pid=""
    trap cleanup EXIT
}
cleanup() {
    for pid in "$game_pid" "$wm_pid" "$xvfb_pid"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
        fi
    done
    rm -rf "$work"
}

# start_x_session FIRST LAST [bare]: picks a free display number between
# FIRST and LAST, starts Xvfb (1280 x 1024) and matchbox on it (not with
# "bare": no window manager at all) and exports DISPLAY.
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

    [ "${3:-}" = bare ] && return
    # The window test plays under a window manager, as most players do.
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

# place_picture: where the 640 x 480 picture is in window `wid` at a whole
# factor: sets WIDTH, HEIGHT, X, Y (the window), scale, left, top and picture.
place_picture() {
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    scale=$(( WIDTH / 640 < HEIGHT / 480 ? WIDTH / 640 : HEIGHT / 480 ))
    [ "$scale" -ge 1 ] || fail "window ${WIDTH}x${HEIGHT} is smaller than 640x480"
    left=$(( (WIDTH - 640 * scale) / 2 ))
    top=$(( (HEIGHT - 480 * scale) / 2 ))
    picture="$(( 640 * scale ))x$(( 480 * scale ))+$(( X + left ))+$(( Y + top ))"  # a crop of the screen
}

# click_quit: clicks QUIT (x 270..370, y 410..474 of the game's screen) in
# the picture placed at (left, top) at `scale` in window `wid`, and waits up
# to 10 s for the game (game_pid) to end. Sets quit_x, quit_y, clicked (the
# time of the click in ns) and status (the game's exit status; empty when it
# did not end).
click_quit() {
    quit_x=$(( left + 320 * scale ))
    quit_y=$(( top + 442 * scale ))
    xdotool mousemove --window "$wid" "$quit_x" "$quit_y" || fail "cannot move the pointer"
    sleep 0.7
    xdotool click 1 || fail "cannot click"
    clicked=$(date +%s%N)
    status=""
    for _ in $(seq 1 100); do
        if ! kill -0 "$game_pid" 2>/dev/null; then
            wait "$game_pid"
            status=$?
            game_pid=""
            return
        fi
        sleep 0.1
    done
}
