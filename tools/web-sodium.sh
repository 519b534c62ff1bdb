#!/usr/bin/env bash
# libsodium for the page: Debian's source package, built with emscripten
# into a static library under OUT (default build-web/sodium). The page's
# link (net/UdpLink) seals with it as the desktop's does. Done once: a
# second call finds OUT/lib/libsodium.a and does nothing.
# Needs: emscripten, autoconf, automake, libtool, and deb.debian.org's sources
# (tools/install-deps.sh web).
set -euo pipefail

out="$(realpath -m "${1:-build-web/sodium}")"
suite="${VC_SODIUM_SUITE:-bookworm}"
if [ -f "$out/lib/libsodium.a" ] && [ -f "$out/include/sodium.h" ]; then
    exit 0
fi
work="$out.work"
rm -rf "$work"
mkdir -p "$work/lists/partial"
cd "$work"
# An apt of our own that knows only the source list, so that the machine's
# own lists and sources stay as they are.
printf 'deb-src http://deb.debian.org/debian %s main\n' "$suite" > sources.list
apt_opts=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o Dir::State::Lists="$work/lists" -o Debug::NoLocking=1)
apt-get "${apt_opts[@]}" -qq update
apt-get "${apt_opts[@]}" -qq source --download-only libsodium 2>&1 | grep -v "unsandboxed" >&2 || true
ls libsodium_*.orig.tar.* >/dev/null
tarball="$(ls libsodium_*.orig.tar.* | head -n1)"
mkdir src
tar -xf "$tarball" -C src --strip-components=1
cd src
# Each step's chatter goes to a log, shown when the step fails.
quiet() { "$@" > "$work/step.log" 2>&1 || { cat "$work/step.log" >&2; echo "failed: $*" >&2; exit 1; }; }
quiet ./autogen.sh -s
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"
quiet emconfigure ./configure --host=wasm32-unknown-emscripten --disable-shared --enable-static \
    --disable-ssp --disable-asm --without-pthreads --prefix="$out" CFLAGS=-O2
quiet emmake make -j"${JOBS:-2}"
quiet make install
cd /
rm -rf "$work"
echo "libsodium for the page: $out/lib/libsodium.a"
