#!/usr/bin/env bash
# A newcomer's first install: a fresh clone of the repository's HEAD, `make
# install PREFIX=...` there with nothing built before, the installed game
# played under Xvfb without a sound device (its menu shows, QUIT ends it
# with status 0), then `make uninstall PREFIX=...`, which leaves no file
# under the prefix. The clone is built from nothing with plain commands (no
# compiler launcher, the machine's own compiler), a few minutes on two
# cores, so the test runs only with CI=true; elsewhere it says so and is
# skipped (status 77).
#
# usage: fresh_clone_test.sh
set -uo pipefail
. "$(dirname "$0")/x-session.sh"

[ $# -eq 0 ] || usage ""
source="$(readlink -f "$(dirname "$0")/../..")"
skipped=77  # SKIP_RETURN_CODE in tests/CMakeLists.txt

if [ "${CI:-}" != true ]; then
    echo "skipped: builds a whole fresh clone (CI=true runs it)"
    exit "$skipped"
fi
need "make test" git make cmake Xvfb xdotool matchbox-window-manager
head="$(git -C "$source" rev-parse --verify HEAD 2>/dev/null)" || {
    echo "skipped: $source is not a git working tree"
    exit "$skipped"
}

start_scratch voidcrawl-fresh-clone
clone="$work/clone"
prefix="$work/prefix"

# From the local repository alone: no network.
git clone --quiet --no-checkout "$source" "$clone" || fail "cannot clone $source"
git -C "$clone" checkout --quiet --detach "$head" || fail "cannot check out $head"

# Plain commands, as on a fresh machine: no ccache, no inherited build flags.
plain=(env -u CMAKE_CXX_COMPILER_LAUNCHER -u CMAKE_C_COMPILER_LAUNCHER -u CCACHE_DIR -u CCACHE_BASEDIR
    -u CXXFLAGS -u LDFLAGS -u CMAKE_BUILD_PARALLEL_LEVEL -u MAKEFLAGS -u MFLAGS -u DESTDIR)
jobs="${JOBS:-2}"
(cd "$clone" && "${plain[@]}" make install PREFIX="$prefix" JOBS="$jobs") >"$work/install.log" 2>&1 \
    || { tail -n 40 "$work/install.log" >&2; fail "make install in a fresh clone failed"; }
installed="$(find "$prefix" ! -type d | wc -l)"
echo "make install in a fresh clone of $head put $installed files under $prefix"
[ -x "$prefix/bin/voidcrawl" ] || fail "no bin/voidcrawl"
[ -f "$prefix/share/man/man6/voidcrawl.6.gz" ] || fail "no manual page"
[ -f "$clone/build/install_manifest.txt" ] || fail "no install manifest"
listed="$(grep -c . "$clone/build/install_manifest.txt")"
[ "$listed" -eq "$installed" ] || fail "the manifest lists $listed files, the prefix holds $installed"

# ---- the installed game, from another folder, under Xvfb --------------------------
start_x_session 300 399
mkdir -p "$work/elsewhere" "$work/home"
(cd "$work/elsewhere" && exec env -u VOIDCRAWL_DATA -u XDG_DATA_HOME -u XDG_CONFIG_HOME \
    HOME="$work/home" PATH=/usr/bin:/bin VOIDCRAWL_WINDOWED=1 \
    SDL_AUDIODRIVER=no-such-driver VOIDCRAWL_NO_MESSAGEBOX=1 \
    "$prefix/bin/voidcrawl" >"$work/game.log" 2>&1) &
game_pid=$!
wait_for_game_window 15
sleep 3  # the menu fades in
kill -0 "$game_pid" 2>/dev/null || fail "the installed game ended on its own"
place_picture
click_quit
[ -n "$status" ] || fail "the installed game did not end within 10 s of clicking QUIT"
[ "$status" -eq 0 ] || fail "the installed game ended with status $status"
echo "the installed game showed its menu and quit"

# ---- uninstall -------------------------------------------------------------------
(cd "$clone" && "${plain[@]}" make uninstall PREFIX="$prefix") >"$work/uninstall.log" 2>&1 \
    || { cat "$work/uninstall.log" >&2; fail "make uninstall in the fresh clone failed"; }
left="$(find "$prefix" ! -type d; find "$prefix" -type d -name voidcrawl)"
[ -z "$left" ] || fail "make uninstall left behind: $left"
echo "make uninstall removed $(grep -c '^-- Removing .*[^/]$' "$work/uninstall.log") files; nothing is left"
echo "PASS"
