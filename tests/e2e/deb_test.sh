#!/usr/bin/env bash
# The Debian package, as a player gets it: lintian finds no error in it (and
# each of its warnings is explained in the README), its tree passes the
# AppStream and desktop-entry validators with a stripped binary; apt-get
# installs it; the game, started by the menu entry's Exec line under Xvfb
# with no sound device, goes from the menu into a one-player game, plays,
# freezes on Esc, returns to the menu on Y and ends on QUIT with status 0;
# then apt-get purges it and nothing the package installed is left.
#
# Needs root; refuses to run where a voidcrawl package is installed already.
# usage: deb_test.sh <deb build dir>   (make test-deb builds the package first)
# The pictures of each step are left in <deb build dir>/deb-test-shots/.
set -uo pipefail
. "$(dirname "$0")/x-session.sh"

[ $# -eq 1 ] || usage "<deb build dir>"
readme="$(readlink -f "$(dirname "$0")/../../README.md")"
debs=("$(readlink -f "$1")"/voidcrawl_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one voidcrawl_*.deb in $1, found: ${debs[*]}"
deb="${debs[0]}"
shots="$(readlink -f "$1")/deb-test-shots"
[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"
need "make test-deb" lintian dpkg-deb apt-get appstreamcli desktop-file-validate file Xvfb xdotool import \
    convert matchbox-window-manager
if [ "$(dpkg-query -W -f='${Status}' voidcrawl 2>/dev/null)" != "" ] \
    && [ "$(dpkg-query -W -f='${Status}' voidcrawl 2>/dev/null)" != "unknown ok not-installed" ]; then
    fail "a voidcrawl package is on this machine already ($(dpkg-query -W -f='${Status}' voidcrawl)): not touching it"
fi

start_scratch voidcrawl-deb
installed=""
purge_on_exit() {
    if [ -n "$installed" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y voidcrawl >/dev/null 2>&1
    fi
    cleanup
}
trap purge_on_exit EXIT
phase_started=$SECONDS
phase() { echo "---- $1 ($(( SECONDS - phase_started ))s so far)"; }

# ---- lintian -----------------------------------------------------------------
phase "lintian $(basename "$deb")"
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1
lintian_status=$?
grep -v "running with root privileges" "$work/lintian.txt"
[ "$lintian_status" -ne 1 ] || fail "lintian finds errors"
[ "$lintian_status" -eq 0 ] || fail "lintian failed (status $lintian_status)"
# Every warning is one the README explains.
for tag in $(sed -n 's/^W: [^ ]* \([^ ]*\).*/\1/p' "$work/lintian.txt" | sort -u); do
    grep -q "\`$tag\`" "$readme" || fail "lintian warns $tag, which the README does not explain"
done

# ---- the package's contents ----------------------------------------------------
phase "the package's tree"
dpkg-deb -x "$deb" "$work/tree" || fail "cannot unpack $deb"
appstreamcli validate-tree --no-net "$work/tree" >"$work/appstream.log" 2>&1 \
    || { cat "$work/appstream.log" >&2; fail "the package's tree does not pass appstreamcli validate-tree"; }
desktop="usr/share/applications/io.github.voidcrawl.VoidCrawl.desktop"
desktop-file-validate "$work/tree/$desktop" || fail "the package's menu entry does not validate"
file "$work/tree/usr/games/voidcrawl" | grep -q ', stripped' || fail "the packaged binary is not stripped"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
case "$depends" in *libsdl2*) ;; *) fail "the package does not depend on SDL2's library" ;; esac
head -n 1 "$work/tree/usr/share/doc/voidcrawl/copyright" | grep -q '^Format: https://www.debian.org/' \
    || fail "the copyright file is not machine-readable"

# ---- install -----------------------------------------------------------------
phase "apt-get install"
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" >"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log" >&2; fail "apt-get install $deb failed"; }
dpkg -L voidcrawl >"$work/files.txt" || fail "dpkg -L voidcrawl failed after the install"
echo "installed $(wc -l <"$work/files.txt") paths"
exec_line="$(sed -n 's/^Exec=//p' "/$desktop")"
[ "$exec_line" = /usr/games/voidcrawl ] || fail "the installed menu entry's Exec is '$exec_line'"

# ---- play --------------------------------------------------------------------
phase "play the installed game"
start_x_session 291 390
mkdir -p "$work/home" "$work/elsewhere"
(cd "$work/elsewhere" && exec env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$work/home" \
    SDL_AUDIODRIVER=no-such-driver VOIDCRAWL_NO_MESSAGEBOX=1 \
    $exec_line >"$work/game.log" 2>&1) &
game_pid=$!
wait_for_game_window 20
sleep 3  # the menu fades in
grep -q "no sound device.*playing silent" "$work/game.log" || fail "the game does not say that it plays silent"
place_picture
rm -rf "$shots" && mkdir -p "$shots"
# shot NAME: the game's picture as $shots/NAME.png
shot() {
    import -window root "$shots/$1.png" || fail "cannot take a screenshot"
    convert "$shots/$1.png" -crop "$picture" +repage "$shots/$1.png"
}
# differ A B: the pictures differ at all; differ_much A B: in over a quarter
# of their pixels (another screen, not a cursor's blink or a worm's step).
pixels() { compare -metric AE "$shots/$1.png" "$shots/$2.png" null: 2>&1 | awk '{ printf "%d", $1 }'; }
differ() { [ "$(pixels "$1" "$2")" != 0 ]; }
differ_much() { [ "$(pixels "$1" "$2")" -gt $(( 640 * scale * 480 * scale / 4 )) ]; }
# until_much A B SECONDS: takes picture B until it differs much from A.
until_much() {
    for _ in $(seq 1 $(( $3 * 2 ))); do
        sleep 0.5
        shot "$2"
        differ_much "$1" "$2" && return 0
    done
    return 1
}
at() {  # at X Y: moves the pointer to the game's (X, Y) and clicks
    xdotool mousemove --window "$wid" $(( left + $1 * scale )) $(( top + $2 * scale )) || fail "cannot move the pointer"
    sleep 0.5
    xdotool click 1 || fail "cannot click"
}
shot menu
at 320 150  # ONE PLAYER
until_much menu setup 5 || fail "ONE PLAYER did not leave the menu"
sleep 1  # the set-up screen fades in
shot setup
xdotool key --delay 150 d e b || fail "cannot type"
sleep 0.5
shot named
differ setup named || fail "the name typed does not show"
xdotool key Return
until_much named play1 8 || fail "the name's Enter did not start the game"
sleep 1
xdotool key space
sleep 1
shot play1
sleep 0.7
shot play2
differ play1 play2 || fail "nothing moves in play"
xdotool key Escape
# The box comes up once the key is up; then nothing moves behind it.
frozen=""
for n in 1 2 3 4 5; do
    sleep 0.5
    shot "frozen$n"
    if [ "$n" -gt 1 ] && ! differ "frozen$(( n - 1 ))" "frozen$n"; then
        frozen="frozen$n"
        break
    fi
done
[ -n "$frozen" ] || fail "play goes on behind Esc's EXIT Y/N box"
differ play2 "$frozen" || fail "Esc changed nothing on the screen"
xdotool key y
sleep 2.5
shot back
differ_much "$frozen" back || fail "Y did not leave the game"
click_quit
[ -n "$status" ] || fail "the installed game did not end within 10 s of clicking QUIT on the menu"
[ "$status" -eq 0 ] || fail "the installed game ended with status $status"
echo "played: menu, set-up, play, EXIT Y/N, menu, QUIT (status 0)"

# ---- remove ------------------------------------------------------------------
phase "apt-get purge"
DEBIAN_FRONTEND=noninteractive apt-get purge -y voidcrawl >"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log" >&2; fail "apt-get purge voidcrawl failed"; }
installed=""
[ -z "$(dpkg-query -W -f='${db:Status-Status}' voidcrawl 2>/dev/null | grep -v not-installed)" ] \
    || fail "dpkg still knows voidcrawl after the purge"
left=""
while read -r path; do
    case "$path" in
        */voidcrawl | */voidcrawl/*) [ -e "$path" ] && left="$left $path" ;;  # the package's own folders too
        *) [ -e "$path" ] && [ ! -d "$path" ] && left="$left $path" ;;       # shared folders stay
    esac
done <"$work/files.txt"
[ -z "$left" ] || fail "left after apt-get purge:$left"
phase "done"
echo "PASS"
