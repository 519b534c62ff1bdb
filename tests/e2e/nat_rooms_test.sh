#!/usr/bin/env bash
# Two players, each behind a home router of its own, meet in a room on a
# real voidcrawl-server and play a level: routers that keep a port for
# every destination (a full cone, and one that lets in only what answers
# what went out) must give a direct path; routers that take a new port for
# every destination (symmetric) must leave the game to the server's relay.
#
# Everything runs in network namespaces this test makes and removes:
#   "internet": the server on 10.0.0.1, two routers' public sides
#   10.0.1.2 and 10.0.2.2; behind each router one player, 192.168.N.2.
# It needs root, ip and iptables: without them it is skipped (77), and with
# CI=true that is a failure.
#
# usage: nat_rooms_test.sh SERVER RUNNER DATA [CASE...]
#   CASE: full, restricted, symmetric (default: all three)
set -uo pipefail

server=$(realpath "$1") runner=$(realpath "$2") data=$(realpath "$3")
shift 3
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(full restricted symmetric)

skip() {
    if [ "${CI:-}" = "true" ]; then
        echo "FAIL: $* (CI=true: the router cases must run)"
        exit 1
    fi
    echo "SKIP: $*"
    exit 77
}
[ "$(id -u)" = 0 ] || skip "not root: network namespaces need it"
command -v ip >/dev/null || skip "no ip (iproute2)"
command -v iptables >/dev/null || skip "no iptables"

# Short names of our own, so that two runs at once never share one.
ns="vcn$$"
work=$(mktemp -d)
cleanup() {
    # a subshell that inherits the trap leaves the cleaning to the test itself
    [ "$BASHPID" = "$$" ] || return 0
    drop_net
    wait 2>/dev/null
    if [ -n "${VC_KEEP_NAT:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

in_ns() { local n=$1; shift; ip netns exec "$ns$n" "$@"; }

# The routers: a player behind each, masquerading on their public side.
# full:       whatever comes to the public address goes to the player, port
#             for port (a port forward for every port)
# restricted: only what answers a datagram the player sent to that address
#             and port comes in; the player's port is kept where it can be
# symmetric:  a new random port for every destination
make_net() {
    local kind=$1 s net
    for n in a b ra rb w; do
        ip netns add "$ns$n" || skip "cannot make a network namespace"
        in_ns "$n" ip link set lo up
    done
    in_ns w ip addr add 10.0.0.1/32 dev lo
    in_ns w sysctl -qw net.ipv4.ip_forward=1
    for s in a b; do
        if [ "$s" = a ]; then net=1; else net=2; fi
        ip link add "w$s$$" netns "${ns}w" type veth peer name wan netns "${ns}r$s"
        in_ns w ip addr add "10.0.$net.1/24" dev "w$s$$"
        in_ns w ip link set "w$s$$" up
        # the internet answers from the server's own address
        in_ns w ip route change "10.0.$net.0/24" dev "w$s$$" src 10.0.0.1
        in_ns "r$s" ip addr add "10.0.$net.2/24" dev wan
        in_ns "r$s" ip link set wan up
        in_ns "r$s" ip route add default via "10.0.$net.1"
        ip link add lan netns "${ns}r$s" type veth peer name eth0 netns "$ns$s"
        in_ns "r$s" ip addr add "192.168.$net.1/24" dev lan
        in_ns "r$s" ip link set lan up
        in_ns "$s" ip addr add "192.168.$net.2/24" dev eth0
        in_ns "$s" ip link set eth0 up
        in_ns "$s" ip route add default via "192.168.$net.1"
        in_ns "r$s" sysctl -qw net.ipv4.ip_forward=1
        if [ "$kind" = symmetric ]; then
            in_ns "r$s" iptables -t nat -A POSTROUTING -o wan -j MASQUERADE --random-fully
        else
            in_ns "r$s" iptables -t nat -A POSTROUTING -o wan -j MASQUERADE
        fi
        in_ns "r$s" iptables -A FORWARD -i wan -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT
        if [ "$kind" = full ]; then
            in_ns "r$s" iptables -t nat -A PREROUTING -i wan -p udp -j DNAT --to-destination "192.168.$net.2"
            in_ns "r$s" iptables -A FORWARD -i wan -p udp -d "192.168.$net.2" -j ACCEPT
        fi
        in_ns "r$s" iptables -A FORWARD -i wan -j DROP
    done
}

# Ends every process still in the namespaces (a namespace removed leaves
# its processes running), then removes them.
drop_net() {
    local n
    for n in a b ra rb w; do
        ip netns pids "$ns$n" 2>/dev/null | xargs -r kill 2>/dev/null
    done
    sleep 0.2
    for n in a b ra rb w; do
        ip netns pids "$ns$n" 2>/dev/null | xargs -r kill -9 2>/dev/null
        ip netns del "$ns$n" 2>/dev/null
    done
}

# Waits (up to $2 s) for the line matching $3 in file $1; prints it.
wait_for() {
    local file=$1 seconds=$2 pattern=$3 i
    for ((i = 0; i < seconds * 10; i++)); do
        if grep -m1 -E "$pattern" "$file" 2>/dev/null; then return 0; fi
        sleep 0.1
    done
    return 1
}

failures=0
fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }
table=()

for case in "${cases[@]}"; do
    case $case in full | restricted | symmetric) ;; *) echo "unknown case $case"; exit 2 ;; esac
    want=DIRECT
    [ "$case" = symmetric ] && want=RELAYED
    make_net "$case"
    dir="$work/$case"
    mkdir -p "$dir"
    port=8090
    ip netns exec "${ns}w" "$server" --listen "10.0.0.1:$port" --data "$dir/server" --game-data "$data" \
        >"$dir/server.out" 2>"$dir/server.err" &
    if ! wait_for "$dir/server.out" 20 "listening on" >/dev/null; then
        fail "the server did not start: $(cat "$dir/server.err")"
        drop_net
        continue
    fi
    url="http://10.0.0.1:$port"
    started=$SECONDS
    (cd "$dir" && exec timeout 300 ip netns exec "${ns}a" "$runner" --autopilot --seed 5 --until-level 2 --room new \
        --world-server "$url" --user-dir "$dir/host" --data "$data" >"$dir/host.out" 2>"$dir/host.err") &
    host=$!
    code=$(wait_for "$dir/host.out" 20 "^room: [A-Z]{5}$" 2>/dev/null | cut -d' ' -f2)
    if [ -z "$code" ]; then
        fail "the host printed no room code: $(cat "$dir/host.out" "$dir/host.err")"
        drop_net
        continue
    fi
    (cd "$dir" && exec timeout 240 ip netns exec "${ns}b" "$runner" --autopilot --seed 6 --until-level 2 \
        --room "$code" --world-server "$url" --user-dir "$dir/guest" --data "$data" \
        >"$dir/guest.out" 2>"$dir/guest.err")
    guest_status=$?
    wait "$host"
    host_status=$?
    seconds=$((SECONDS - started))

    [ "$host_status" = 0 ] || fail "the host ended with $host_status: $(tail -5 "$dir/host.err")"
    [ "$guest_status" = 0 ] || fail "the guest ended with $guest_status: $(tail -5 "$dir/guest.err")"
    host_path=$(grep -m1 "^path: " "$dir/host.out" | cut -d' ' -f2)
    guest_path=$(grep -m1 "^path: " "$dir/guest.out" | cut -d' ' -f2)
    [ "$host_path" = "$want" ] || fail "the host's path is '$host_path', not $want"
    [ "$guest_path" = "$want" ] || fail "the guest's path is '$guest_path', not $want"
    host_hashes=$(grep -E "^level [0-9]+ hash " "$dir/host.out")
    guest_hashes=$(grep -E "^level [0-9]+ hash " "$dir/guest.out")
    in_step=no
    if [ -n "$host_hashes" ] && [ "$host_hashes" = "$guest_hashes" ]; then in_step=yes; fi
    [ "$in_step" = yes ] || fail "out of step: host '$host_hashes', guest '$guest_hashes'"
    verified=0
    for who in host guest; do
        replay=$(ls "$dir/$who/replays/"* 2>/dev/null | head -1)
        checked=""
        [ -n "$replay" ] && checked=$("$runner" --replay "$replay" --verify --data "$data" \
            --user-dir "$dir/$who-check" 2>&1)
        if grep -q "^replay: verified" <<<"$checked"; then
            verified=$((verified + 1))
        else
            fail "the $who's replay does not verify"
        fi
    done
    line="| $case | $host_path / $guest_path | $in_step | $verified of 2 | ${seconds} s |"
    echo "$line"
    grep -h "^online: " "$dir/host.out" "$dir/guest.out" | sed "s/^/  $case: /"
    table+=("$line")
    drop_net
done

echo "| routers | path (host / guest) | in step | replays verified | took |"
echo "|---|---|---|---|---|"
printf '%s\n' "${table[@]}"
[ "$failures" = 0 ] || { echo "$failures failures"; exit 1; }
echo "PASS"
