#!/usr/bin/env bash
# Installs the Debian packages that building and running VoidCrawl need
# ("run"), that the test suite needs as well ("test"), that the fuzz
# targets need ("fuzz": clang with libFuzzer), that the coverage report
# needs ("coverage": the test suite's packages and gcovr), or that the
# browser build and its test need ("web": emscripten, Chromium, node and Xvfb),
# or that make lint needs ("lint": clang-format, clang-tidy, cppcheck), or
# that make deb needs ("deb": dpkg-shlibdeps and file for CPack) and its
# test ("deb-test": lintian and the X tools the window tests use).
# Does nothing when everything is already there.
set -euo pipefail

what="${1:-run}"
# libsodium-dev: the network link (src/net/UdpLink) seals every datagram with it.
# libcurl4-openssl-dev, nlohmann-json3-dev: the desktop game's link to the world
# table's server (src/hosts/desktop) speaks HTTP(S) with libcurl and reads its JSON.
# libsqlite3-dev, libpq-dev: the world table's store (src/server/store), an
# SQLite file or a PostgreSQL database.
packages=(cmake make g++ pkg-config libsdl2-dev libfreetype-dev libpng-dev libsodium-dev fonts-dejavu-core
          libcurl4-openssl-dev nlohmann-json3-dev libsqlite3-dev libpq-dev)
# voidcrawl-server (the world table): HTTP on Boost.Asio and Boost.Beast.
# The game's own package (deb) is built without it.
if [ "$what" != "deb" ] && [ "$what" != "deb-test" ]; then
    packages+=(libboost-dev)
fi
if [ "$what" = "test" ] || [ "$what" = "coverage" ]; then
    # GoogleTest; the window and install tests run the game under a virtual
    # X server and validate the desktop entry and the AppStream metadata.
    packages+=(libgtest-dev xvfb xdotool x11-utils imagemagick matchbox-window-manager
               desktop-file-utils appstream groff-base)
    # The store's PostgreSQL cases start a cluster of their own with
    # Debian's server binaries (tests/server/pg-cluster.sh).
    packages+=(postgresql)
    # The rooms' router cases make network namespaces with routers that
    # masquerade (tests/e2e/nat_rooms_test.sh, as root).
    packages+=(iproute2 iptables)
    if [ "$what" = "coverage" ]; then packages+=(gcovr); fi
elif [ "$what" = "deb" ] || [ "$what" = "deb-test" ]; then
    packages+=(dpkg-dev file)
    if [ "$what" = "deb-test" ]; then
        packages+=(lintian desktop-file-utils appstream xvfb xdotool x11-utils imagemagick matchbox-window-manager)
    fi
elif [ "$what" = "fuzz" ]; then
    # libFuzzer and the sanitizer runtimes come with clang's runtime package.
    packages+=(clang libclang-rt-dev)
elif [ "$what" = "lint" ]; then
    # make lint: the formatter, clang-tidy (and its parallel runner) and cppcheck.
    packages+=(clang-format clang-tidy cppcheck libgtest-dev)
elif [ "$what" = "bench" ]; then
    # The performance suite (make bench), and the server's (make bench-server:
    # wrk for the load, curl for the replays, a PostgreSQL cluster of its own).
    packages+=(libbenchmark-dev wrk curl postgresql)
elif [ "$what" = "web" ]; then
    # The browser build (emscripten, with its ready-made system libraries)
    # and its test in headless Chromium, driven from node; the test runs the
    # desktop game in a window under Xvfb to compare the idle menu's cost.
    packages+=(emscripten chromium nodejs xvfb xdotool matchbox-window-manager)
    # libsodium for the page is built from Debian's source package
    # (tools/web-sodium.sh): its configure script is made with the autotools.
    packages+=(autoconf automake libtool)
    command -v npm >/dev/null 2>&1 || packages+=(npm)
elif [ "$what" != "run" ]; then
    echo "usage: $0 [run|test|fuzz|bench|coverage|web|lint|deb|deb-test]" >&2
    exit 2
fi

if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    echo "install-deps: this is not a Debian-like system; please install the equivalents of:" >&2
    echo "  ${packages[*]}" >&2
    exit 1
fi

missing=()
for package in "${packages[@]}"; do
    status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
    if [ "$status" != "install ok installed" ]; then
        missing+=("$package")
    fi
done
if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "install-deps: these packages are missing: ${missing[*]}" >&2
    echo "install-deps: run this as root or install sudo, or install them yourself:" >&2
    echo "  apt-get install ${missing[*]}" >&2
    exit 1
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
