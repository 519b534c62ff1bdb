#!/usr/bin/env bash
# make bench-server: the world table's server under load, on this machine.
#   1. GET /api/v1/scores (the top page, a page in the middle, and pages at
#      random, each of them read from the store as the server keeps a page
#      for a second only) with wrk,
#      CONNECTIONS (200) connections for DURATION, on a table of ENTRIES
#      (1,000,000) entries: once on SQLite, once on PostgreSQL (a cluster of
#      its own, tests/server/pg-cluster.sh, syncing its commits as a real one
#      does); throughput and the 99th percentile of latency.
#   2. Replays verified per second per core: REPLAYS whole autopilot games
#      (made once by the runner, kept in the bench folder) POSTed to a fresh
#      server with one verify worker, then with one per core.
#   3. Games relayed through the rooms: for each number in ROOM_GAMES, that
#      many pairs of UDP sockets on loopback, each game 2 x 100 datagrams a
#      second, first directly, then through the server's relay
#      (voidcrawl-room-bench): the server's CPU, and the latency the relay's
#      hop adds (p50, p99).
# Prints a Markdown table (docs/server.md keeps it) and writes it to
# BENCH_DIR/results.md. The seeded stores are kept in BENCH_DIR for the next
# run (remove them to seed again). Not part of make test or CI.
#
# usage: bench-server.sh [BUILD_DIR]    (build/; make bench-server builds it)
# environment: ENTRIES, CONNECTIONS, DURATION (20s), REPLAYS (8), BENCH_DIR
#   (BUILD_DIR/bench-server), SERVER_ARGS (extra server options), PG_BIN,
#   PARTS (which of "table verify rooms" to run: all), ROOM_GAMES
#   (50,100,200,400,600,800,1200), ROOM_SECONDS (8)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(cd "${1:-build}" && pwd)"
entries="${ENTRIES:-1000000}"
connections="${CONNECTIONS:-200}"
duration="${DURATION:-20s}"
replays="${REPLAYS:-8}"
bench="${BENCH_DIR:-$build/bench-server}"
server="$build/voidcrawl-server"
seed="$build/voidcrawl-store-seed"
runner="$build/voidcrawl-headless"
room_bench="$build/voidcrawl-room-bench"
parts="${PARTS:-table verify rooms}"
mkdir -p "$bench"
part() { [[ " $parts " == *" $1 "* ]]; }

for tool in "$server" "$seed" "$runner" "$room_bench"; do
    [ -x "$tool" ] || { echo "bench-server: $tool is not built (make bench-server builds it)" >&2; exit 1; }
done
command -v wrk >/dev/null || { echo "bench-server: wrk is missing (tools/install-deps.sh bench)" >&2; exit 1; }

pids=()
pg_state="$bench/pg-state"
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    bash tests/server/pg-cluster.sh stop "$pg_state" >/dev/null 2>&1 || true
}
trap cleanup EXIT

# start_server LOG ARGS...: starts the server on a free loopback port and
# sets `url` from the line it prints when it listens.
start_server() {
    local log="$1"
    shift
    "$server" --listen 127.0.0.1:0 ${SERVER_ARGS:-} "$@" > "$log" 2>&1 &
    server_pid=$!
    pids+=("$server_pid")
    for _ in $(seq 1 600); do
        url="$(sed -n 's/^voidcrawl-server: listening on \(http:[^ ]*\).*/\1/p' "$log" | head -1)"
        [ -n "$url" ] && return 0
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "bench-server: the server did not start:" >&2
    cat "$log" >&2
    exit 1
}

stop_server() {
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
}

# measure NAME URL [SCRIPT]: one wrk run; appends a row to the table.
rows=()
measure() {
    local name="$1" target="$2" out
    out="$(wrk -t2 -c"$connections" -d"$duration" --latency ${3:+-s "$3"} "$target")"
    echo "$out" > "$bench/wrk-$(echo "$name" | tr ' /,' '---').txt"
    local rps p50 p99 errors
    rps="$(echo "$out" | awk '/^Requests\/sec:/ {printf "%.0f", $2}')"
    p50="$(echo "$out" | awk '$1 == "50%" {print $2}')"
    p99="$(echo "$out" | awk '$1 == "99%" {print $2}')"
    errors="$(echo "$out" | awk '/Non-2xx|Socket errors/ {print}' | tr '\n' ' ')"
    rows+=("| $name | $rps | $p50 | $p99 | ${errors:-none} |")
    echo "bench-server: $name: $rps requests/s, p50 $p50, p99 $p99 ${errors}"
}

# seed_store WHERE MARK: fills the store once (MARK remembers it).
seed_store() {
    if [ -f "$2" ] && [ "$(cat "$2")" = "$entries" ]; then return 0; fi
    echo "bench-server: seeding $entries entries into $(basename "$2" .seeded)..."
    "$seed" --db "$1" --entries "$entries" --measure | tee "$bench/seed-$(basename "$2" .seeded).txt"
    echo "$entries" > "$2"
}

scores() { echo "$url/api/v1/scores?difficulty=1&limit=10&offset=$1"; }
middle=$(( entries / 6 ))  # the middle of one difficulty's third
# Pages at random offsets in one difficulty's third, each request another.
random_pages="$bench/random-pages.lua"
cat > "$random_pages" <<LUA
math.randomseed(1)
request = function()
    local offset = math.random(0, $(( entries / 3 )))
    return wrk.format("GET", "/api/v1/scores?difficulty=" .. math.random(0, 2) .. "&limit=10&offset=" .. offset)
end
LUA

if part table; then
# ---- SQLite ----
mkdir -p "$bench/sqlite"
[ -f "$bench/sqlite.seeded" ] && [ "$(cat "$bench/sqlite.seeded")" = "$entries" ] || rm -f "$bench/sqlite/world.sqlite"*
seed_store "$bench/sqlite/world.sqlite" "$bench/sqlite.seeded"
start_server "$bench/server-sqlite.log" --data "$bench/sqlite" --db "$bench/sqlite/world.sqlite"
curl -fsS "$(scores 0)" > /dev/null
measure "SQLite, top page" "$(scores 0)"
measure "SQLite, page at offset $middle" "$(scores "$middle")"
measure "SQLite, pages at random" "$url" "$random_pages"
stop_server

# ---- PostgreSQL ----
if PG_FSYNC=on bash tests/server/pg-cluster.sh start "$pg_state" > /dev/null; then
    admin="$(cat "$pg_state/address")"
    psql -q "$admin" -c "CREATE DATABASE world" > /dev/null
    pg="${admin/\/postgres\?//world?}"
    rm -f "$bench/pg.seeded"  # the cluster is new each run
    seed_store "$pg" "$bench/pg.seeded"
    psql -q "$pg" -c "VACUUM ANALYZE" > /dev/null
    mkdir -p "$bench/pg-data"
    start_server "$bench/server-pg.log" --data "$bench/pg-data" --db "$pg"
    curl -fsS "$(scores 0)" > /dev/null
    measure "PostgreSQL, top page" "$(scores 0)"
    measure "PostgreSQL, page at offset $middle" "$(scores "$middle")"
    measure "PostgreSQL, pages at random" "$url" "$random_pages"
    stop_server
    bash tests/server/pg-cluster.sh stop "$pg_state" > /dev/null
else
    rows+=("| PostgreSQL | (no cluster could be started) | | | |")
fi
fi

verify_rows=()
if part verify; then
# ---- verifying ----
games="$bench/replays"
mkdir -p "$games"
have=$(find "$games" -name '*.vcr' | wc -l)
for n in $(seq $((have + 1)) "$replays"); do
    echo "bench-server: playing autopilot game $n of $replays for its replay..."
    user="$(mktemp -d)"
    "$runner" --data "$build/data" --user-dir "$user" --seed "$((1000 + n))" --autopilot \
        --autopilot-difficulty $(( n % 3 )) > /dev/null
    cp "$(find "$user/replays" -name '*.vcr' | head -1)" "$games/game-$n.vcr"
    rm -rf "$user"
done
cores="$(nproc)"
for workers in 1 "$cores"; do
    data="$(mktemp -d)"
    start_server "$bench/server-verify.log" --data "$data" --workers "$workers" --queue 1000
    started=$(date +%s.%N)
    find "$games" -name '*.vcr' | head -n "$replays" |
        xargs -P "$((workers * 2))" -I{} curl -sS -o /dev/null -w '%{http_code}\n' \
            -H 'Content-Type: application/octet-stream' --data-binary @{} "$url/api/v1/replays" > "$bench/verify-codes.txt"
    took=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')
    stop_server
    rm -rf "$data"
    created=$(grep -c '^201$' "$bench/verify-codes.txt" || true)
    per_core=$(awk -v n="$created" -v t="$took" -v w="$workers" 'BEGIN {print n / t / w}')
    verify_rows+=("| $workers | $created of $replays | $(printf '%.2f' "$took") s | $(printf '%.2f' "$per_core") |")
    echo "bench-server: $workers worker(s): $created replays verified (201) in $took s"
done
fi

# ---- rooms ----
room_rows=""
if part rooms; then
    data="$(mktemp -d)"
    start_server "$bench/server-rooms.log" --data "$data"
    room_port="$(sed -n 's/^voidcrawl-server: rooms on udp port \([0-9]*\)$/\1/p' "$bench/server-rooms.log" | head -1)"
    room_rows="$("$room_bench" --port "$room_port" --pid "$server_pid" --games "${ROOM_GAMES:-50,100,200,400,600,800,1200}" \
        --seconds "${ROOM_SECONDS:-8}" | tee /dev/stderr)"
    stop_server
    rm -rf "$data"
fi

{
    echo "Measured $(date -u +%Y-%m-%d) on $(nproc) cores ($(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)),"
    echo "$entries entries, wrk -c$connections -d$duration; goal: p99 under 20 ms, 2 games verified a second a core."
    if part table; then
        echo
        echo "| GET /api/v1/scores | requests/s | p50 | p99 | errors |"
        echo "|---|---|---|---|---|"
        printf '%s\n' "${rows[@]}"
    fi
    if part verify; then
        echo
        echo "| verify workers | whole games verified | took | games/s per core |"
        echo "|---|---|---|---|"
        printf '%s\n' "${verify_rows[@]}"
    fi
    if part rooms; then
        echo
        echo "$room_rows"
    fi
} | tee "$bench/results.md"
