#!/usr/bin/env bash
# Installs the game into a fresh prefix and plays the installed copy: the
# desktop entry (started by its full path), the AppStream metadata (on a
# tree staged with DESTDIR) and the manual page pass their validators, the
# icons have their sizes, the install manifest lists every file, and the
# installed game, started from another folder with no sound device, finds
# its data under the prefix, shows its menu, quits on QUIT with status 0 and
# leaves the prefix as it was. Uninstalling the prefix and the staged tree
# leaves no file behind. A settings file with a
# broken line costs one warning and no more: its good lines still hold (a
# window), and Alt+Enter rewrites its fullscreen line alone, the broken line
# kept. The window carries the game's icon, and its class is the menu
# entry's StartupWMClass. The manual page and the metadata tell of online
# play and replays, and every document the page names is installed. An
# install that stops partway (a folder it cannot make) leaves a manifest of
# exactly the files it put in place, and make uninstall takes them away.
#
# usage: install_test.sh <build dir>
set -uo pipefail
. "$(dirname "$0")/x-session.sh"

[ $# -eq 1 ] || usage "<build dir>"
build="$(readlink -f "$1")"
source="$(readlink -f "$(dirname "$0")/../..")"

need "make test" desktop-file-validate appstreamcli groff identify Xvfb xdotool xprop import convert \
    matchbox-window-manager

start_scratch voidcrawl-install

# Every install writes the build's install_manifest.txt: the one of the
# developer's own make install is put back at the end.
manifest="$build/install_manifest.txt"
[ -f "$manifest" ] && cp -p "$manifest" "$work/developer-manifest.txt"
restore_manifest() {
    rm -f "$manifest"
    [ -f "$work/developer-manifest.txt" ] && cp -p "$work/developer-manifest.txt" "$manifest"
    cleanup
}
trap restore_manifest EXIT

# install ROOT PREFIX NAME [DESTDIR]: installs, keeps the manifest as
# $work/NAME.manifest and checks that it lists every file under ROOT.
install_into() {
    DESTDIR="${4:-}" cmake --install "$build" --prefix "$2" >"$work/install.log" 2>&1 \
        || { cat "$work/install.log" >&2; fail "cmake --install failed"; }
    mv "$manifest" "$work/$3.manifest"
    diff <(sed "s|^|${4:-}|" "$work/$3.manifest" | sort) <(find "$1" ! -type d | sort) >"$work/manifest.diff" \
        || { cat "$work/manifest.diff" >&2; fail "the install manifest is not the files installed into $1"; }
}
# uninstall ROOT PREFIX NAME [DESTDIR]: removes what the install put there;
# no file may be left, nor any folder of the game's own.
uninstall_from() {
    DESTDIR="${4:-}" cmake -DMANIFEST="$work/$3.manifest" -DPREFIX="$2" -P "$source/tools/uninstall.cmake" \
        >"$work/uninstall.log" 2>&1 || { cat "$work/uninstall.log" >&2; fail "uninstalling $1 failed"; }
    left="$(find "$1" ! -type d; find "$1" -type d -name voidcrawl)"
    [ -z "$left" ] || fail "uninstalling left behind: $left"
    [ ! -e "$work/$3.manifest" ] || fail "the uninstalled manifest is still there"
}

# ---- a staged tree, as a package has it ----------------------------------------
stage="$work/stage"
install_into "$stage" /usr staged "$stage"
appstreamcli validate-tree --no-net "$stage" >"$work/appstream.log" 2>&1 \
    || { cat "$work/appstream.log" >&2; fail "the staged tree's AppStream metadata does not validate"; }
grep -q "^Exec=/usr/bin/voidcrawl\$" "$stage/usr/share/applications/io.github.voidcrawl.VoidCrawl.desktop" \
    || fail "the staged menu entry does not start /usr/bin/voidcrawl"
# The manual page renders without a warning.
zcat "$stage/usr/share/man/man6/voidcrawl.6.gz" | groff -ww -man -Tutf8 -z >"$work/groff.log" 2>&1
[ ! -s "$work/groff.log" ] || { cat "$work/groff.log" >&2; fail "groff warns about the manual page"; }
# It tells of online play and replays, and each document it names (in FILES
# and SEE ALSO, where the build's prefix puts them) is installed.
page="$(zcat "$stage/usr/share/man/man6/voidcrawl.6.gz" | groff -man -Tascii -P-cbou 2>/dev/null)"
for said in "SEE ALSO" "--host" "--join" "IPv6" "rollback" "--replay" "voidcrawl-headless"; do
    grep -qe "$said" <<<"$page" || fail "the manual page does not mention '$said'"
done
docs="$(grep -o '/share/doc/voidcrawl/[A-Za-z0-9.-]*' <<<"$page" | sed 's|.*/||' | sort -u)"
[ -n "$docs" ] || fail "the manual page names no installed document"
grep -q "docs/replay-format" <<<"$page" && fail "the manual page names docs/replay-format.md, which is not installed"
for doc in $docs; do
    [ -f "$stage/usr/share/doc/voidcrawl/$doc" ] || fail "the manual page names $doc, not installed in share/doc/voidcrawl"
done
metainfo="$stage/usr/share/metainfo/io.github.voidcrawl.VoidCrawl.metainfo.xml"
for said in online IPv6 "roll.*back" replay; do
    grep -qi "$said" "$metainfo" || fail "the AppStream description does not mention '$said'"
done
# Uninstalling with a file of someone else's in a folder of the game's:
# that file and its folder stay, everything else goes.
touch "$stage/usr/share/voidcrawl/grafik/not-ours"
DESTDIR="$stage" cmake -DMANIFEST="$work/staged.manifest" -DPREFIX=/usr -P "$source/tools/uninstall.cmake" \
    >"$work/uninstall.log" 2>&1 || { cat "$work/uninstall.log" >&2; fail "uninstalling the staged tree failed"; }
left="$(cd "$stage" && find . ! -type d)"
[ "$left" = "./usr/share/voidcrawl/grafik/not-ours" ] \
    || fail "the uninstalled staged tree holds '$left', expected only the file the install did not put there"
[ ! -e "$stage/usr/share/voidcrawl/sound" ] || fail "uninstalling left the game's empty sound folder"
[ -d "$stage/usr/share/applications" ] || fail "uninstalling removed a shared folder"
echo "staged, validated and uninstalled in $stage"

# ---- install -----------------------------------------------------------------
# A prefix with a space, as a user's folder may have.
prefix="$work/my games"
install_into "$prefix" "$prefix" prefix

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

desktop="$share/applications/io.github.voidcrawl.VoidCrawl.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
# Started by its full path: a user's prefix need not be on PATH.
# Quoted, since the path holds a space.
exec_line="$(sed -n 's/^Exec=//p' "$desktop")"
[ "$exec_line" = "\"$prefix/bin/voidcrawl\"" ] || fail "the menu entry starts '$exec_line', not \"$prefix/bin/voidcrawl\""
eval "exec_args=($exec_line)"  # as a launcher splits it

# Every size mkdata draws, and no other.
sizes="$(ls "$build/data/icons" | sed -n 's/^voidcrawl-\([0-9]*\)\.png$/\1/p' | sort -n | tr '\n' ' ')"
installed="$(ls "$share/icons/hicolor" | sed 's/x.*//' | sort -n | tr '\n' ' ')"
[ "$sizes" = "$installed" ] || fail "icons installed at '$installed', mkdata drew '$sizes'"
for size in $sizes; do
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
    HOME="$work/home" PATH=/usr/bin:/bin \
    SDL_AUDIODRIVER=no-such-driver VOIDCRAWL_NO_MESSAGEBOX=1 \
    "${exec_args[@]}" >"$work/game.log" 2>&1) &
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
class="$(xprop -id "$wid" -notype WM_CLASS)"
wm_class="$(sed -n 's/^StartupWMClass=//p' "$desktop")"
[ "$wm_class" = voidcrawl ] || fail "the menu entry's StartupWMClass is '$wm_class', expected voidcrawl"
case "$class" in
    *"\"$wm_class\""*) ;;
    *) fail "the window's class is '$class', not the menu entry's StartupWMClass $wm_class" ;;
esac
icon="$(xprop -id "$wid" -notype _NET_WM_ICON | head -n 1)"
case "$icon" in
    *"Icon (64 x 64)"*) ;;
    *) fail "the window has no 64 x 64 icon: '$icon'" ;;
esac

shot="$work/menu.png"
import -window root "$shot" || fail "cannot take a screenshot"
place_picture
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

# ---- uninstall -------------------------------------------------------------------
# A manifest is refused for any other prefix, and then removes nothing.
cmake -DMANIFEST="$work/prefix.manifest" -DPREFIX="$work/other" -P "$source/tools/uninstall.cmake" \
    >"$work/uninstall.log" 2>&1 && fail "the manifest of $prefix uninstalled from $work/other"
grep -q "records an install outside" "$work/uninstall.log" || fail "a wrong prefix is not named as such"
listing >"$work/refused.txt"
diff -q "$work/before.txt" "$work/refused.txt" >/dev/null || fail "a refused uninstall changed the prefix"
uninstall_from "$prefix" "$prefix" prefix

# ---- an install that stops partway ---------------------------------------------
# share/man is a file, so the manual page's folder cannot be made (even by
# root): what went in before it is listed in the manifest, and make
# uninstall removes it all, leaving only the file that was there.
broken="$work/broken"
mkdir -p "$broken/share"
echo "not a folder" >"$broken/share/man"
cmake -DBUILD="$build" -DPREFIX="$broken" -P "$source/tools/install.cmake" >"$work/partial.log" 2>&1 \
    && fail "an install into a prefix whose share/man is a file succeeded"
grep -q "stopped partway" "$work/partial.log" || { cat "$work/partial.log" >&2; fail "the failed install does not say so"; }
[ -f "$manifest" ] || fail "the failed install left no manifest"
[ -x "$broken/bin/voidcrawl" ] || fail "the failed install stopped before the game: not the failure tested"
diff <(sort "$manifest") <(find "$broken" ! -type d ! -path "$broken/share/man" | sort) >"$work/manifest.diff" \
    || { cat "$work/manifest.diff" >&2; fail "the failed install's manifest is not the files it put in place"; }
make -s -C "$source" uninstall BUILD_DIR="$build" PREFIX="$broken" >"$work/uninstall.log" 2>&1 \
    || { cat "$work/uninstall.log" >&2; fail "make uninstall after a failed install failed"; }
left="$(cd "$broken" && find . ! -type d; find . -type d -name voidcrawl)"
[ "$left" = "./share/man" ] || fail "uninstalling the failed install left '$left', expected only ./share/man"
[ ! -e "$manifest" ] || fail "the failed install's manifest is still there"
echo "a failed install left a manifest of $(grep -c '^-- Removing .*[^/]$' "$work/uninstall.log") files, all removed"
echo "PASS"
