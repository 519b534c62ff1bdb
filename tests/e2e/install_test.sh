#!/usr/bin/env bash
# Installs the game into a fresh prefix and plays the installed copy: the
# desktop entry and the AppStream metadata pass their validators, the icons
# have their sizes, and the installed game, started from another folder with
# no sound device, finds its data under the prefix, shows its menu, quits on
# QUIT with status 0 and leaves the prefix as it was. A settings file with a
# broken line costs one warning and no more: its good lines still hold (a
# window), and Alt+Enter rewrites its fullscreen line alone, the broken line
# kept. The window carries the game's icon.
#
# usage: install_test.sh <build dir>
set -uo pipefail
. "$(dirname "$0")/x-session.sh"

if [ $# -ne 1 ]; then
    echo "usage: $0 <build dir>" >&2
    exit 2
fi
build="$(readlink -f "$1")"

for tool in desktop-file-validate appstreamcli identify Xvfb xdotool xprop import convert matchbox-window-manager; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed (make test installs it)"
done

start_scratch voidcrawl-install

# ---- install -----------------------------------------------------------------
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 \
    || { cat "$work/install.log" >&2; fail "cmake --install failed"; }

[ -x "$prefix/bin/voidcrawl" ] || fail "no bin/voidcrawl"
share="$prefix/share"
# The data set and nothing else: no high-score tables, no screen dumps.
expected="grafik icons sound $(for n in $(seq 0 19); do printf 'L%d.DAT ' "$n"; done)"
expected="$(echo $expected | tr ' ' '\n' | sort | tr '\n' ' ')"
found="$(ls "$share/voidcrawl" | sort | tr '\n' ' ')"
[ "$found" = "$expected" ] || fail "share/voidcrawl holds '$found', expected '$expected'"
[ "$(ls "$share/voidcrawl/grafik" | wc -l)" -gt 10 ] || fail "share/voidcrawl/grafik is nearly empty"
[ "$(ls "$share/voidcrawl/sound" | wc -l)" -gt 10 ] || fail "share/voidcrawl/sound is nearly empty"
[ -f "$share/voidcrawl/icons/voidcrawl-64.png" ] || fail "no window icon in share/voidcrawl/icons"
grep -q "MIT License" "$share/licenses/voidcrawl/LICENSE" 2>/dev/null || fail "no licence at share/licenses/voidcrawl"

desktop="$share/applications/voidcrawl.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
metainfo="$share/metainfo/voidcrawl.metainfo.xml"
[ -f "$metainfo" ] || fail "no AppStream metadata"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 \
    || { cat "$work/appstream.log" >&2; fail "the AppStream metadata does not validate"; }
grep -q '<launchable type="desktop-id">voidcrawl.desktop</launchable>' "$metainfo" \
    || fail "the metadata does not launch the installed desktop entry"

for size in 48 64 128 256; do
    icon="$share/icons/hicolor/${size}x${size}/apps/voidcrawl.png"
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    got="$(identify -format '%m %wx%h %A' "$icon")"
    case "$got" in
        "PNG ${size}x${size} "[Bb]lend|"PNG ${size}x${size} True") ;;
        *) fail "the ${size}x${size} icon is '$got', expected a ${size}x${size} PNG with alpha" ;;
    esac
done
echo "installed and validated in $prefix"

# Everything under the prefix, to compare after the game has run.
listing() { (cd "$prefix" && find . -printf '%p %s %T@\n' | sort); }
listing >"$work/before.txt"

# ---- a free display with a window manager -------------------------------------
start_x_session 191 290

# ---- the installed game, from another folder, without a sound device ----------
# Its own files go to a home of its own, never into the prefix.
mkdir -p "$work/elsewhere" "$work/home/.config/voidcrawl"
settings="$work/home/.config/voidcrawl/settings.ini"
printf '[display]\nfullscreen = no\n[sound]\nvolume = loud\n' >"$settings"
(cd "$work/elsewhere" && exec env -u VOIDCRAWL_DATA -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u VOIDCRAWL_WINDOWED \
    HOME="$work/home" \
    SDL_AUDIODRIVER=no-such-driver VOIDCRAWL_NO_MESSAGEBOX=1 \
    "$prefix/bin/voidcrawl" >"$work/game.log" 2>&1) &
game_pid=$!

wait_for_game_window 15

sleep 3  # the menu fades in
kill -0 "$game_pid" 2>/dev/null || fail "the installed game ended on its own"
grep -q "no sound device.*playing silent" "$work/game.log" \
    || fail "the game does not say that it plays silent without a sound device"

warnings="$(grep -c "settings" "$work/game.log")"
[ "$warnings" -eq 1 ] || fail "the broken settings file gave $warnings warning lines, expected 1"
grep -q "settings.ini: line 4: volume must be 0 to 100" "$work/game.log" \
    || fail "the warning does not name the broken line"
icon="$(xprop -id "$wid" -notype _NET_WM_ICON | head -n 1)"
case "$icon" in
    *"Icon (64 x 64)"*) ;;
    *) fail "the window has no 64 x 64 icon: '$icon'" ;;
esac

shot="$work/menu.png"
import -window root "$shot" || fail "cannot take a screenshot"
place_picture
picture="$(( 640 * scale ))x$(( 480 * scale ))+$(( X + left ))+$(( Y + top ))"
colours=$(convert "$shot" -crop "$picture" +repage -format '%k' info:)
echo "the installed game's menu: $colours colours"
[ "$colours" -ge 16 ] || fail "the menu has only $colours colours: blank?"
# (The window manager gives every window the whole screen; the window's
# state says whether it asked for full screen.)
wm_state() { xprop -id "$wid" -notype _NET_WM_STATE; }
case "$(wm_state)" in
    *FULLSCREEN*) fail "the settings file asked for a window, got full screen" ;;
esac

# Alt+Enter switches to full screen and back, and the settings file follows
# each, keeping the rest as the player wrote it. (This window manager keeps
# F11 for itself.)
toggle() {  # KEYS EXPECTED-FULLSCREEN-LINE EXPECTED-STATE
    xdotool key "$1" || fail "cannot press $1"
    for _ in $(seq 1 50); do
        grep -q "^$2\$" "$settings" && break
        sleep 0.1
    done
    grep -q "^$2\$" "$settings" || { cat "$settings" >&2; fail "$1 did not write '$2' to the settings file"; }
    grep -q "^volume = loud\$" "$settings" || { cat "$settings" >&2; fail "the rewritten settings file lost the player's line"; }
    sleep 0.5
    case "$(wm_state)" in
        *FULLSCREEN*) [ "$3" = full ] || fail "$1 left the window full screen" ;;
        *) [ "$3" = window ] || fail "$1 did not switch to full screen" ;;
    esac
}
toggle alt+Return "fullscreen = yes" full
toggle alt+Return "fullscreen = no" window
sleep 0.5
place_picture

click_quit
[ -n "$status" ] || fail "the installed game did not end within 10 s of clicking QUIT"
[ "$status" -eq 0 ] || fail "the installed game ended with status $status"

listing >"$work/after.txt"
diff "$work/before.txt" "$work/after.txt" >"$work/prefix.diff" \
    || { cat "$work/prefix.diff" >&2; fail "the game changed files under the install prefix"; }
echo "PASS"
