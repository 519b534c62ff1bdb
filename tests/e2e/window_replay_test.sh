#!/usr/bin/env bash
# A game played by hand in the real window (under Xvfb, with the real clock's
# jitter and keys held for uneven times) is recorded, and the headless runner
# plays its replay in step to the last state hash. Then the window plays the
# same replay (--replay) until Esc leaves it.
#
# usage: window_replay_test.sh <voidcrawl binary> <voidcrawl-headless binary> <data dir>
set -uo pipefail
. "$(dirname "$0")/x-session.sh"

[ $# -eq 3 ] || usage "<voidcrawl binary> <voidcrawl-headless binary> <data dir>"
game="$(readlink -f "$1")"
runner="$(readlink -f "$2")"
data="$(readlink -f "$3")"
need "make test" Xvfb xdotool matchbox-window-manager

start_scratch voidcrawl-replay
start_x_session 400 499
mkdir -p "$work/home" "$work/share"
# run_game ARGS...: the game in the window, with its own home and user folder.
run_game() {
    (cd "$(dirname "$game")" && exec env HOME="$work/home" XDG_DATA_HOME="$work/share" SDL_AUDIODRIVER=dummy \
        VOIDCRAWL_NO_MESSAGEBOX=1 "$game" "$@" >>"$work/game.log" 2>&1) &
    game_pid=$!
    wait_for_game_window 20
    place_picture
}
# at X Y: moves the pointer to the game's (X, Y) and clicks.
at() {
    xdotool mousemove --window "$wid" $(( left + $1 * scale )) $(( top + $2 * scale )) || fail "cannot move the pointer"
    sleep 0.5
    xdotool click 1 || fail "cannot click"
}
# hold KEY SECONDS: holds a key down for a while.
hold() {
    xdotool keydown "$1" && sleep "$2" && xdotool keyup "$1" || fail "cannot press $1"
}

# ---- a game played by hand ---------------------------------------------------
run_game
sleep 3  # the menu fades in
at 320 150  # ONE PLAYER
sleep 2
xdotool key --delay 120 h a n d Return || fail "cannot type"
sleep 2  # the level's intro
xdotool key space
sleep 1
hold Left 0.13
sleep 0.4
hold Right 0.27
sleep 0.6
xdotool key --delay 40 Up Left
sleep 0.9
hold Right 0.08
sleep 0.5
xdotool key Escape
sleep 1
xdotool key y
sleep 2.5
click_quit
[ -n "$status" ] || fail "the game did not end within 10 s of clicking QUIT"
[ "$status" -eq 0 ] || fail "the game ended with status $status"

replays=("$work"/share/voidcrawl/replays/*.vcr)
[ "${#replays[@]}" -eq 1 ] && [ -f "${replays[0]}" ] || fail "expected one replay, found: ${replays[*]}"
replay="${replays[0]}"
echo "recorded $(stat -c %s "$replay") bytes: $(basename "$replay")"

# ---- the runner plays it in step ---------------------------------------------
verdict="$("$runner" --data "$data" --user-dir "$work/runner" --replay "$replay" --verify 2>&1)"
code=$?
echo "$verdict"
[ "$code" -eq 0 ] || fail "the runner refused or lost step (status $code)"
echo "$verdict" | grep -q "^replay: verified [1-9][0-9]* state hashes" || fail "the runner did not verify the replay"

# ---- the window plays it, and Esc leaves it -----------------------------------
run_game --replay "$replay"
sleep 2
kill -0 "$game_pid" 2>/dev/null || fail "the game ended while playing its replay"
xdotool key Escape
sleep 2
click_quit  # Esc left the replay for the menu
[ -n "$status" ] || fail "Esc did not leave the replay for the menu"
[ "$status" -eq 0 ] || fail "the game ended with status $status after its replay"
grep -q "out of step" "$work/game.log" && fail "the window's replay went out of step"
echo "PASS"
