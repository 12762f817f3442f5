#!/usr/bin/env bash
# Times `quorvane-cli list` (one full refresh) against iproute2 listing the same tables, as three
# processes (`ip -4 -o addr show; ip neigh show; ip -o link show`) and as one (`ip -batch` with
# the three listings), inside a private network namespace with 1, 16, 256, 1024 and 4096
# addresses on a veth link, timed in turn within each run (with the shell's own clock, so that
# no process started to read the time is timed too), and prints the medians and the ratios of
# the medians. Aims: at most 1.0 against the three listings at every size, at most 2.0 against
# `ip -batch` from 1024 addresses on.
#
# Then both families: 256 IPv4 and 256 IPv6 addresses (with an IPv6 router in the neighbour
# table), against iproute2 listing the same with `ip -o addr show` for both families.
#
# Then the same refresh with a name server that never answers (a UDP socket on 127.0.0.53:53
# that reads nothing), at 16 and 1024 addresses: the refresh must end within the look-up
# deadline (2 s) plus 10 %.
#
# Last, the router at 16 addresses: the listing with the default settings (the router asked)
# against one that does not ask it (AskRouter=0), first with no router answering, then with a
# stand-in router (tests/network/upnp_router.py) answering on a LAN link. Aim: at most 1.1 with no
# router once the first listing has noted the network; with a router, the listing pays for its
# two exchanges with it (description and address), and the ratio shows how much.
#
# Run it after a build, as root (or where `unshare -r -n -m` is allowed):
#     bench/netlist_bench.sh [path/to/quorvane-cli] [runs]
# The default binary is build/cli/quorvane-cli; the default is 21 runs per case.
#
# Reverse look-ups fail fast in the first part: an empty resolv.conf is bind-mounted over the real
# one, so the only name server is 127.0.0.1, which refuses at once. The user's settings are not
# read: XDG_CONFIG_HOME points at a temporary folder with the default settings, and the notes of
# where the network's router lives go to a temporary XDG_RUNTIME_DIR.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cli=$(realpath "${1:-$root/build/cli/quorvane-cli}")
runs=${2:-21}

if [ "${QV_BENCH_INNER:-}" != 1 ]; then
    [ -x "$cli" ] || { echo "quorvane-cli not found at $cli; build first" >&2; exit 1; }
    export QV_BENCH_INNER=1
    for flags in "-n -m" "-r -n -m"; do
        # shellcheck disable=SC2086
        if unshare $flags true 2>/dev/null; then
            exec unshare $flags "$0" "$cli" "$runs"
        fi
    done
    echo "network namespaces are not allowed here: cannot run the benchmark" >&2
    exit 1
fi

# ---- inside the private namespace ----
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
: >"$tmp/resolv.conf"
mount --bind "$tmp/resolv.conf" /etc/resolv.conf
export XDG_CONFIG_HOME="$tmp/config"
export XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_CONFIG_HOME/Calvort" "$tmp/quiet/Calvort" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# For the comparison at the end: settings that do not ask the router.
printf '[Settings]\nAskRouter=0\n' >"$tmp/quiet/Calvort/Quorvane.conf"

ip link set lo up
ip link add v0 type veth peer name v1
ip link set v0 up
ip link set v1 up
ip addr add 10.77.255.1/16 dev v0
ip neigh add 10.77.255.254 lladdr 02:00:00:00:00:fe dev v0 nud permanent
ip route add default via 10.77.255.254 dev v0

have=1  # addresses on v0 so far
add_addresses() {  # brings the count on v0 up to $1
    local want=$1 batch="$tmp/batch" i
    : >"$batch"
    for ((i = have; i < want; i++)); do
        echo "addr add 10.77.$((i / 250)).$((i % 250 + 1))/16 dev v0" >>"$batch"
    done
    [ -s "$batch" ] && ip -batch "$batch"
    have=$want
}

iproute2() {
    ip -4 -o addr show
    ip neigh show
    ip -o link show
}
printf 'addr show\nneigh show\nlink show\n' >"$tmp/three"
ip_batch() { ip -4 -o -batch "$tmp/three"; }
quorvane() { "$cli" list; }
quorvane_quiet() { XDG_CONFIG_HOME="$tmp/quiet" "$cli" list; }

# Wall time in microseconds of one run of a command. The shell's own clock is read, so that no
# process started to read the time is timed with the command.
time_us() {
    local s e
    s=${EPOCHREALTIME//[!0-9]/}
    "$@" >/dev/null 2>&1
    e=${EPOCHREALTIME//[!0-9]/}
    echo $((e - s))
}

# The median of the numbers in a file.
median_of() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The medians of `runs` runs of the commands given (after one warm-up run each), taken in turn
# within each run, so that the machine's load at any moment weighs on all of them alike; prints
# them in the order given.
medians() {
    local r c
    for c in "$@"; do
        "$c" >/dev/null 2>&1
        : >"$tmp/times-$c"
    done
    for ((r = 0; r < runs; r++)); do
        for c in "$@"; do
            time_us "$c" >>"$tmp/times-$c"
        done
    done
    for c in "$@"; do
        median_of "$tmp/times-$c"
    done | paste -sd ' '
}

# The silent name server, used only while resolv.conf names it.
/usr/bin/python3 -c 'import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.53", 53))
time.sleep(3600)' &
silent=$!
trap 'kill $silent 2>/dev/null; rm -rf "$tmp"' EXIT
slow_runs=$(((runs + 2) / 3))
slow=""

printf '%-10s %12s %12s %12s %10s %10s\n' addresses "cli ms" "ip x3 ms" "ip -batch ms" "cli/x3" \
    "cli/batch"
for n in 1 16 256 1024 4096; do
    add_addresses "$n"
    rows=$("$cli" list 2>/dev/null | grep -c '^10\.77\.' || true)
    [ "$rows" -eq "$n" ] || echo "warning: quorvane-cli listed $rows of $n addresses" >&2
    read -r q i b < <(medians quorvane iproute2 ip_batch)
    awk -v n="$n" -v q="$q" -v i="$i" -v b="$b" 'BEGIN {
        printf "%-10d %12.2f %12.2f %12.2f %10.2f %10.2f\n", n, q / 1000, i / 1000, b / 1000,
            q / i, q / b }'
    if [ "$n" -eq 16 ] || [ "$n" -eq 1024 ]; then
        echo "nameserver 127.0.0.53" >"$tmp/resolv.conf"
        q=$(runs=$slow_runs medians quorvane)
        : >"$tmp/resolv.conf"
        slow+=$(awk -v n="$n" -v q="$q" \
            'BEGIN { printf "%-10d %12.2f %12.2f %10.2f", n, q / 1000, 2000, q / 2e6 }')$'\n'
    fi
done

# Both families, 256 addresses each, on a fresh v0.
ip addr flush dev v0
ip addr add 10.77.255.1/16 dev v0
have=1
add_addresses 256
for ((i = 1; i <= 256; i++)); do
    printf 'addr add 2001:db8:77::%x/64 dev v0 nodad\n' "$i"
done >"$tmp/batch6"
ip -batch "$tmp/batch6"
ip -6 neigh add fe80::fe lladdr 02:00:00:00:00:fe dev v0 router nud permanent
rows=$("$cli" list 2>/dev/null | grep -c '^2001:db8:77::' || true)
[ "$rows" -eq 256 ] || echo "warning: quorvane-cli listed $rows of 256 IPv6 addresses" >&2
iproute2_both() {
    ip -o addr show
    ip neigh show
    ip -o link show
}
read -r q i < <(medians quorvane iproute2_both)
awk -v q="$q" -v i="$i" 'BEGIN {
    printf "\nBoth families:\n%-10s %12s %12s %10s\n%-10s %12.2f %12.2f %10.2f\n", "addresses",
        "cli ms", "ip x3 ms", "cli/x3", "256+256", q / 1000, i / 1000, q / i }'

printf '\nA name server that never answers:\n%-10s %12s %12s %10s\n%s' addresses "cli ms" \
    "deadline ms" ratio "$slow"

# The router, at 16 addresses on a fresh v0: no router answering, then a stand-in router on a LAN
# link (multicast routed there) answering.
ip addr flush dev v0
ip addr add 10.77.255.1/16 dev v0
have=1
add_addresses 16
router_rows() {
    read -r q n < <(medians quorvane quorvane_quiet)
    awk -v what="$1" -v q="$q" -v n="$n" \
        'BEGIN { printf "%-22s %12.2f %12.2f %10.2f\n", what, q / 1000, n / 1000, q / n }'
}
printf '\nThe router asked (default settings) or not (AskRouter=0):\n%-22s %12s %12s %10s\n' \
    "" "asked ms" "not ms" ratio
router_rows "no router answering"
ip link add lan0 type veth peer name lan1
ip link set lan0 up
ip link set lan1 up
ip addr add 192.168.77.1/24 dev lan0
ip route add 239.0.0.0/8 dev lan0
echo 203.0.113.7 >"$tmp/external"
/usr/bin/python3 "$root/tests/network/upnp_router.py" 192.168.77.1 "$tmp/external" >"$tmp/router.out" &
router=$!
trap 'kill $silent $router 2>/dev/null; rm -rf "$tmp"' EXIT
for _ in $(seq 50); do [ -s "$tmp/router.out" ] && break; sleep 0.1; done
rm -rf "${XDG_RUNTIME_DIR:?}"/*  # a router now: the network's note is out of date
"$cli" list 2>/dev/null | grep -q '203.0.113.7' || echo "warning: the first listing did not show the router's address" >&2
router_rows "a router answering"
