#!/usr/bin/env bash
# The desktop game idling on its menu in a real window, for the page's test
# to compare the page's cost with: starts a virtual X server with a window
# manager and the game (a user folder of its own), waits for its window and
# for the menu to settle, then prints "ready GAME_PID XVFB_PID" and keeps
# everything running until its input ends (the test reads the processes'
# CPU time from /proc meanwhile). Ends the game, the window manager and the
# X server on the way out.
#
# usage: desktop-idle.sh <voidcrawl binary> <data dir>
set -uo pipefail
. "$(dirname "$0")/../e2e/x-session.sh"

[ $# -eq 2 ] || usage "<voidcrawl binary> <data dir>"
game="$(readlink -f "$1")"
data="$(readlink -f "$2")"

need "make test-web" Xvfb xdotool matchbox-window-manager
[ -x "$game" ] || fail "no game binary at $game"
[ -d "$data/grafik" ] || fail "no data set at $data (no grafik folder)"

start_scratch voidcrawl-idle
start_x_session 200 290

# The game looks for data/ beside its own binary: put one there.
mkdir -p "$work/bin" "$work/run" "$work/home" "$work/share"
cp "$game" "$work/bin/voidcrawl"
ln -s "$data" "$work/bin/data"
(cd "$work/run" && exec env HOME="$work/home" XDG_DATA_HOME="$work/share" SDL_AUDIODRIVER=dummy \
    VOIDCRAWL_NO_MESSAGEBOX=1 "$work/bin/voidcrawl" >"$work/game.log" 2>&1) &
game_pid=$!

wait_for_game_window 20
sleep 3  # the menu fades in and its items slide in
kill -0 "$game_pid" 2>/dev/null || fail "the game ended on its own"
echo "ready $game_pid $xvfb_pid"
cat >/dev/null  # until the test is done with us
