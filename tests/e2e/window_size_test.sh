#!/usr/bin/env bash
# The window sizes of the options screen under a window manager that keeps
# every window maximised (matchbox): the window stays as large as the
# screen whatever size is chosen, and the picture must be drawn for the
# window as it is, scaled and centred, with black bands above and below,
# never for the size that was asked for (1:1 in a corner with old frames
# around it, or cut off at the bottom).
#
# usage: window_size_test.sh <voidcrawl binary> <data dir>
# The screenshots are left beside the binary as e2e_window_size_*.png.
set -uo pipefail
. "$(dirname "$0")/x-session.sh"

[ $# -eq 2 ] || usage "<voidcrawl binary> <data dir>"
game="$(readlink -f "$1")"
data="$(readlink -f "$2")"
out_dir="$(dirname "$game")"

need "make test" Xvfb xdotool import convert matchbox-window-manager
[ -x "$game" ] || fail "no game binary at $game"
[ -d "$data/grafik" ] || fail "no data set at $data (no grafik folder)"

start_scratch voidcrawl-e2e-size
start_x_session 191 240

mkdir -p "$work/bin" "$work/run" "$work/config" "$work/share"
cp "$game" "$work/bin/voidcrawl"
ln -s "$data" "$work/bin/data"
(cd "$work/run" && exec env SDL_AUDIODRIVER=dummy VOIDCRAWL_NO_MESSAGEBOX=1 VOIDCRAWL_WINDOWED=1 \
    XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/share" "$work/bin/voidcrawl" >"$work/game.log" 2>&1) &
game_pid=$!
wait_for_game_window 20
sleep 3
place_picture
[ "$WIDTH" -eq 1280 ] && [ "$HEIGHT" -eq 1024 ] || fail "the window does not fill the 1280x1024 screen"

# The options screen, then its WINDOW entry (x 124..304, y 139..157 of the
# game's screen) clicked until both 640 x 480 and 1280 x 960 have been
# chosen (each click takes the next size; the first may be any).
xdotool key --window "$wid" o || fail "cannot press O"
sleep 3
entry_x=$(( X + left + 214 * scale ))
entry_y=$(( Y + top + 148 * scale ))
setting() { grep -rh '^window *=' "$work/config" 2>/dev/null | head -1 | sed 's/.*= *//'; }
seen=" "
for click in 1 2 3 4 5; do
    was=$(setting)
    xdotool mousemove "$entry_x" "$entry_y" || fail "cannot move the pointer"
    sleep 0.5
    xdotool click 1 || fail "cannot click"
    for _ in $(seq 1 50); do
        choice=$(setting)
        [ "$choice" != "$was" ] && break
        sleep 0.1
    done
    sleep 1.5
    kill -0 "$game_pid" 2>/dev/null || fail "the game ended after choosing $choice"
    [ "$choice" != "$was" ] || continue  # the click came too soon: again
    seen="$seen$choice "
    shot="$out_dir/e2e_window_size_$choice.png"
    import -window root "$shot" || fail "cannot take a screenshot"
    place_picture
    echo "window $choice: ${WIDTH}x${HEIGHT}, picture x$scale at +$left+$top"
    [ "$WIDTH" -eq 1280 ] && [ "$HEIGHT" -eq 1024 ] || fail "the window manager let the window change ($WIDTH x $HEIGHT)"
    # Above and below the picture: black, as the window's own size fits it.
    for band in "${WIDTH}x${top}+${X}+${Y}" "${WIDTH}x${top}+${X}+$(( Y + HEIGHT - top ))"; do
        m=$(convert "$shot" -crop "$band" +repage -format '%[fx:maxima]' info:)
        awk -v m="$m" 'BEGIN { exit !(m == 0) }' || fail "with window $choice the band $band is not black ($shot)"
    done
    # The picture itself: the options screen, many colours.
    colours=$(convert "$shot" -crop "$picture" +repage -format '%k' info:)
    [ "$colours" -ge 16 ] || fail "with window $choice the picture has only $colours colours ($shot)"
    # Drawn at the whole factor: each game pixel is a 2 x 2 block, so the
    # picture halved and doubled again is the picture.
    diff=$(convert "$shot" -crop "$picture" +repage \( +clone -sample 50% -sample 200% \) \
        -compose difference -composite -format '%[fx:maxima]' info:)
    awk -v d="$diff" 'BEGIN { exit !(d == 0) }' || fail "with window $choice the picture is not drawn at x$scale ($shot)"
    case "$seen" in *" 640x480 "*) case "$seen" in *" 1280x960 "*) echo "PASS"; exit 0 ;; esac ;; esac
done
fail "five clicks on WINDOW chose only:$seen"
