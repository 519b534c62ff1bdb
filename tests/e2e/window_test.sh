#!/usr/bin/env bash
# The real game in a real window: starts a virtual X server with a window
# manager, runs the game from an empty working directory (so it must find its
# data beside the binary), checks that the main menu shows up scaled and
# centred, clicks QUIT and expects the game to end with status 0.
#
# usage: window_test.sh <voidcrawl binary> <data dir>
# The screenshot is left beside the binary as e2e_window.png.
set -uo pipefail
. "$(dirname "$0")/x-session.sh"

[ $# -eq 2 ] || usage "<voidcrawl binary> <data dir>"
game="$(readlink -f "$1")"
data="$(readlink -f "$2")"
out_dir="$(dirname "$game")"
shot="$out_dir/e2e_window.png"

need "make test" Xvfb xdotool import convert matchbox-window-manager
[ -x "$game" ] || fail "no game binary at $game"
[ -d "$data/grafik" ] || fail "no data set at $data (no grafik folder)"

start_scratch voidcrawl-e2e

# ---- a free display with a window manager ---------------------------------
start_x_session 90 190

# ---- the game, from an empty working directory -----------------------------
binary="$game"
if [ "$(readlink -f "$out_dir/data")" != "$data" ]; then
    # The game looks for data/ beside its own binary: put one there.
    mkdir -p "$work/bin"
    cp "$game" "$work/bin/voidcrawl"
    ln -s "$data" "$work/bin/data"
    binary="$work/bin/voidcrawl"
fi
mkdir -p "$work/run"
started=$(date +%s%N)
(cd "$work/run" && exec env SDL_AUDIODRIVER=dummy VOIDCRAWL_NO_MESSAGEBOX=1 VOIDCRAWL_HOST_STATS=1 \
    "$binary" >"$work/game.log" 2>&1) &
game_pid=$!

wait_for_game_window 20
shown=$(date +%s%N)
echo "window visible after $(( (shown - started) / 1000000 )) ms"

# Let the menu fade in and its items slide in.
sleep 3
kill -0 "$game_pid" 2>/dev/null || fail "the game ended on its own"

# CPU use while the menu idles, over two seconds.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$game_pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(cpu_ticks)
sleep 2
after=$(cpu_ticks)
cpu_percent=$(( (after - before) * 100 / (2 * hz) ))
echo "game CPU use on the idle menu: ${cpu_percent}% of one core"
# Without a GPU the picture goes straight to the window's shared memory,
# converted and scaled in one pass: about 8% of a core at 2x here. Waiting
# for the next frame costs nothing: a busy wait would show as a whole core.
# The OpenGL driver the window does not use never enters the process.
# (Sanitized builds run several times slower and larger.)
rss_kb=$(awk '/^VmRSS/ { print $2 }' "/proc/$game_pid/status")
echo "game resident memory: $(( rss_kb / 1024 )) MB"
if [ -z "${VOIDCRAWL_TEST_SANITIZED:-}" ]; then
    [ "$cpu_percent" -lt 30 ] || fail "the idle menu uses ${cpu_percent}% of a core"
    [ "$rss_kb" -lt 40960 ] || fail "the game holds ${rss_kb} kB resident, more than 40 MB"
else
    [ "$cpu_percent" -lt 90 ] || fail "the idle menu uses ${cpu_percent}% of a core"
fi

import -window root "$shot" || fail "cannot take a screenshot"
echo "screenshot: $shot"

# ---- where the picture is --------------------------------------------------
place_picture

echo "window ${WIDTH}x${HEIGHT} at ${X},${Y}: picture x${scale} at +${left}+${top}"
[ "$WIDTH" -eq 1280 ] && [ "$HEIGHT" -eq 1024 ] || fail "the window does not fill the 1280x1024 screen"

# The menu is on the screen: many colours, not a blank or single-colour frame.
colours=$(convert "$shot" -crop "$picture" +repage -format '%k' info:)
deviation=$(convert "$shot" -crop "$picture" +repage -format '%[fx:standard_deviation]' info:)
echo "picture: $colours colours, standard deviation $deviation"
[ "$colours" -ge 16 ] || fail "the picture has only $colours colours: blank?"
awk -v d="$deviation" 'BEGIN { exit !(d > 0.02) }' || fail "the picture is nearly uniform ($deviation)"
# Around the picture the screen stays black.
if [ "$top" -gt 0 ]; then
    band=$(convert "$shot" -crop "${WIDTH}x${top}+${X}+${Y}" +repage -format '%[fx:maxima]' info:)
    awk -v m="$band" 'BEGIN { exit !(m == 0) }' || fail "the band above the picture is not black"
fi

# ---- QUIT --------------------------------------------------------------------
click_quit
if [ -z "$status" ]; then
    import -window root "$out_dir/e2e_window_after_click.png" 2>/dev/null
    fail "the game did not end within 10 s of clicking QUIT at ($quit_x, $quit_y)" \
         "(screen left in $out_dir/e2e_window_after_click.png)"
fi
echo "game ended $(( ($(date +%s%N) - clicked) / 1000000 )) ms after the click, status $status"
cat "$work/game.log"
[ "$status" -eq 0 ] || fail "the game ended with status $status"
echo "PASS"
