#!/usr/bin/env bash
# The game started again and again on a bare X server (no window manager,
# as on a kiosk or a minimal session), full screen and in a window: every
# start must show the menu at the same place, filling the screen as it
# should, never a picture drawn for another size.
#
# usage: starts_test.sh <voidcrawl binary> <data dir> [starts of each kind]
# (VOIDCRAWL_E2E_STARTS also sets the count; 3 by default.)
set -uo pipefail
. "$(dirname "$0")/x-session.sh"

[ $# -ge 2 ] || usage "<voidcrawl binary> <data dir> [starts]"
game="$(readlink -f "$1")"
data="$(readlink -f "$2")"
starts="${3:-${VOIDCRAWL_E2E_STARTS:-3}}"

need "make test" Xvfb xdotool xwininfo import convert compare
[ -d "$data/grafik" ] || fail "no data set at $data (no grafik folder)"

start_scratch voidcrawl-starts
start_x_session 291 390 bare

# The menu, once it has faded and slid in, with the star field taken out:
# stars are lone 2 x 2 dots at 2x, which an opening by a 5 x 5 square
# removes while the title and the items stay.
shoot() {
    import -window root "$work/raw.png" || fail "cannot take a screenshot"
    convert "$work/raw.png" -morphology Open Square:2 "$1"
}

# How many pixels of two menus differ more than a little.
differing() { compare -metric AE -fuzz 10% "$1" "$2" null: 2>&1; }

# One start: sets `geometry` (the window's WxH+X+Y) and leaves the menu in $work/$1.png.
start_once() {
    local name=$1
    shift
    mkdir -p "$work/config-$name"
    (cd "$work" && exec env "$@" XDG_CONFIG_HOME="$work/config-$name" SDL_AUDIODRIVER=dummy \
        VOIDCRAWL_NO_MESSAGEBOX=1 "$game" --data "$data" >"$work/game.log" 2>&1) &
    game_pid=$!
    wait_for_game_window 20
    # The menu has settled once two shots a second apart agree (a loaded
    # machine may still be fading it in after a few seconds).
    sleep 1.5
    shoot "$work/$name.png"
    local tries=0
    while :; do
        kill -0 "$game_pid" 2>/dev/null || fail "the game ended on its own"
        sleep 1
        shoot "$work/next.png"
        [ "$(differing "$work/$name.png" "$work/next.png" | cut -d. -f1)" -lt 2000 ] && break
        tries=$((tries + 1))
        [ "$tries" -lt 15 ] || fail "$name: the menu never settled"
        mv "$work/next.png" "$work/$name.png"
    done
    geometry=$(xwininfo -id "$wid" | awk '/geometry/ { print $2 }')
    kill "$game_pid"
    wait "$game_pid" 2>/dev/null
    game_pid=""
}


# Full screen the window covers the screen; in a window the largest whole
# factor that fits beside a title bar is 2x (1280 x 960 on 1280 x 1024),
# centred. Either way the picture sits at 2x 32 rows down.
for kind in fullscreen windowed; do
    if [ "$kind" = fullscreen ]; then want="1280x1024+0+0"; flag=VOIDCRAWL_WINDOWED=0; else want="1280x960+0+32"; flag=VOIDCRAWL_WINDOWED=1; fi
    for i in $(seq 1 "$starts"); do
        start_once "$kind-$i" "$flag"
        echo "$kind start $i: window $geometry"
        [ "$geometry" = "$want" ] || fail "$kind start $i: the window is $geometry, not $want"
        if [ "$kind$i" = fullscreen1 ]; then
            # The first is checked against what the menu must look like:
            # black above and below the picture, the title in its place.
            above=$(convert "$work/$kind-$i.png" -crop 1280x32+0+0 +repage -format '%[fx:maxima]' info:)
            below=$(convert "$work/$kind-$i.png" -crop 1280x32+0+992 +repage -format '%[fx:maxima]' info:)
            title=$(convert "$work/$kind-$i.png" -crop 804x230+240+32 +repage -format '%k' info:)
            echo "bands $above $below, title $title colours"
            awk -v a="$above" -v b="$below" 'BEGIN { exit !(a == 0 && b == 0) }' || fail "the bands are not black"
            [ "$title" -ge 64 ] || fail "no title where the picture's top should be ($title colours)"
        else
            # The others must match it, whichever way they were started.
            diff=$(differing "$work/fullscreen-1.png" "$work/$kind-$i.png")
            echo "$kind start $i: $diff pixels differ from the first"
            [ "${diff%%.*}" -lt 2000 ] || fail "$kind start $i shows another picture ($diff pixels differ)"
        fi
    done
done
echo "PASS"
