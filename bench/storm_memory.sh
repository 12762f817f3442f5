#!/usr/bin/env bash
# The window's memory before and after a netlink storm: 20 000 addresses added and removed again,
# three times, on a veth link in a private network namespace, with nothing ticked (so each check
# rebuilds the whole list). Prints RSS, PSS and private memory idle, just after the storm and
# 20 s later.
#     bench/storm_memory.sh [build folder]          (needs `unshare -n`, as root or with user
#                                                    namespaces)
# Aim: the window ends no more than a few MB above its idle size.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
if [ -z "${QV_STORM_INSIDE:-}" ]; then
    args=(-n)
    [ "$(id -u)" = 0 ] || args=(-r -n)
    exec env QV_STORM_INSIDE=1 unshare "${args[@]}" "$0" "$build"
fi
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/run" "$home/config/Calvort"
chmod 700 "$home/run"
printf '[Settings]\nAskRouter=0\n' >"$home/config/Calvort/Quorvane.conf"
ip link set lo up
ip link add s0 type veth peer name s1
ip link set s0 up
ip link set s1 up
export XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run
export XDG_STATE_HOME=$home/state QT_QPA_PLATFORM=offscreen
"$build/shell/quorvane" >"$home/out.log" 2>&1 &
pid=$!
memory() {
    awk -v when="$1" '/^Rss:|^Pss:|^Private_Dirty:|^Private_Clean:/ {a[$1] = $2}
        END {printf "%-7s RSS %6.1f MB  PSS %6.1f MB  private %6.1f MB\n", when, a["Rss:"] / 1024,
             a["Pss:"] / 1024, (a["Private_Dirty:"] + a["Private_Clean:"]) / 1024}' \
        "/proc/$pid/smaps_rollup"
}
sleep 8
memory idle
python3 -c '
for i in range(20000):
    print(f"addr add 10.100.{i // 250}.{i % 250 + 1}/32 dev s0")' >"$home/add.txt"
sed 's/addr add/addr del/' "$home/add.txt" >"$home/del.txt"
for _ in 1 2 3; do
    ip -batch "$home/add.txt"
    ip -batch "$home/del.txt"
done
memory storm
sleep 20
memory later
kill "$pid"
wait "$pid" || true
