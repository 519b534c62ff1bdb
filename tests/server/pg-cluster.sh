#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the store's tests and the bench, of its
# own: Debian's server binaries, initdb in a temporary folder, run by an
# unprivileged user (nobody, when this runs as root: PostgreSQL refuses to
# run as root), reachable only through a unix socket in that folder (no TCP).
#
#   pg-cluster.sh start STATE   starts one; STATE/address then holds the
#                               libpq address of its "postgres" database and
#                               STATE/home the cluster's folder
#   pg-cluster.sh stop STATE    stops it and removes its folder
#
# Without the binaries it says so and exits 77; with CI=true any failure to
# start is an error (exit 1) the tests must not pass over.
# PG_BIN: the binaries' folder (/usr/lib/postgresql/15/bin).
# PG_FSYNC=on: the server syncs its commits (off by default: the tests kill
# clients, never the cluster, and a throwaway cluster need not outlive a
# power cut).
set -euo pipefail

bin="${PG_BIN:-/usr/lib/postgresql/15/bin}"
what="${1:-}"
state="${2:-}"
[ -n "$what" ] && [ -n "$state" ] || { echo "usage: $0 start|stop STATE" >&2; exit 2; }

unavailable() {
    echo "pg-cluster: $*" >&2
    if [ "${CI:-}" = "true" ]; then exit 1; fi
    exit 77
}

as_owner=()
owner_group=""
if [ "$(id -u)" -eq 0 ]; then
    id nobody >/dev/null 2>&1 || unavailable "running as root and there is no user nobody to run the cluster as"
    owner_group="nobody:$(id -gn nobody)"
    as_owner=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
fi

case "$what" in
start)
    [ -x "$bin/initdb" ] && [ -x "$bin/pg_ctl" ] ||
        unavailable "no PostgreSQL server binaries in $bin (Debian's postgresql package; tools/install-deps.sh test)"
    mkdir -p "$state"
    home="$(mktemp -d "${TMPDIR:-/tmp}/voidcrawl-pg.XXXXXX")"
    echo "$home" > "$state/home"
    mkdir -p "$home/sock"
    [ -z "$owner_group" ] || chown -R "$owner_group" "$home"
    # The socket's name carries the port: any number is free in a folder of our own.
    port=$(( 20000 + RANDOM % 40000 ))
    if ! "${as_owner[@]}" "$bin/initdb" -D "$home/data" -U voidcrawl --auth=trust -E UTF8 --no-locale --no-sync \
            > "$home/initdb.log" 2>&1; then
        cat "$home/initdb.log" >&2
        unavailable "initdb failed"
    fi
    fsync="${PG_FSYNC:-off}"
    if ! "${as_owner[@]}" "$bin/pg_ctl" -D "$home/data" -l "$home/server.log" -w -t 60 \
            -o "-c listen_addresses='' -k $home/sock -p $port -c fsync=$fsync -c max_connections=300" \
            start > /dev/null; then
        cat "$home/server.log" >&2 || true
        unavailable "the cluster did not start"
    fi
    echo "postgresql:///postgres?host=$home/sock&port=$port&user=voidcrawl" > "$state/address"
    cat "$state/address"
    ;;
stop)
    [ -f "$state/home" ] || exit 0
    home="$(cat "$state/home")"
    if [ -d "$home/data" ]; then
        "${as_owner[@]}" "$bin/pg_ctl" -D "$home/data" -m immediate -w stop > /dev/null 2>&1 || true
    fi
    case "$home" in
    */voidcrawl-pg.*) rm -rf "$home" ;;
    esac
    rm -f "$state/home" "$state/address"
    ;;
*)
    echo "usage: $0 start|stop STATE" >&2
    exit 2
    ;;
esac
