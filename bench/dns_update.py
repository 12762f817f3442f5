#!/usr/bin/python3
"""RFC 2136 forwarding against Knot DNS: time from an address change to the record served, and
many watchers against one server.

Inside a private network namespace, Knot serves example.org on 127.0.0.1 and takes updates
signed with a TSIG key. `quorvane-cli watch` (RFC 2136 method, polling every ten minutes, so
only the kernel's announcements find a change) ticks the address of a veth link:

1. one watcher, the address changed 20 times: the time from the change to Knot serving the
   new record (asked every 2 ms), median and worst;
2. 50 watchers, each its own link and its own name, 10 changes each, all links changed
   together in each round: every update must be served with the last address of its round
   (none lost, none older), and the updates per second are reported.

Run it after a build, as root (or where `unshare -r -n` is allowed):
    bench/dns_update.py [build folder] [watchers] [changes]
Aims on the 2-core machine: median under 300 ms, worst under 1 s.
"""
import os
import random
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

from quorvane_home import make_home, stop

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
WATCHERS = int(sys.argv[2]) if len(sys.argv) > 2 else 50
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 10
SECRET = "YmVuY2htYXJrLXNlY3JldC1mb3ItdGhlLWJlbmNoLWtleQ=="

KNOT_CONFIG = """server:
    rundir: {dir}
    listen: 127.0.0.1@53
    udp-workers: 1
    tcp-workers: 1
key:
  - id: bench.key
    algorithm: hmac-sha256
    secret: {secret}
acl:
  - id: bench
    key: bench.key
    action: update
database:
    storage: {dir}
template:
  - id: default
    storage: {dir}
    zonefile-sync: -1
    journal-content: none
zone:
  - domain: example.org
    acl: bench
log:
  - target: stderr
    any: warning
"""
ZONE = """$ORIGIN example.org.
$TTL 60
@ SOA ns1 hostmaster 1 3600 600 86400 60
@ NS ns1
ns1 A 192.0.2.53
"""


def ip(*args):
    subprocess.run(["ip", *args], check=True)


def served(name):
    """The A records 127.0.0.1 serves for `name`, as dotted texts."""
    query_id = random.randrange(65536)
    question = b"".join(bytes([len(p)]) + p.encode() for p in name.split(".")) + b"\0"
    message = struct.pack(">HHHHHH", query_id, 0, 1, 0, 0, 0) + question + struct.pack(">HH", 1, 1)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(0.5)
        s.sendto(message, ("127.0.0.1", 53))
        try:
            answer = s.recv(4096)
        except socket.timeout:
            return []
    count = struct.unpack(">H", answer[6:8])[0]
    pos, found = 12 + len(question) + 4, []
    for _ in range(count):
        pos += 2 if answer[pos] & 0xC0 == 0xC0 else len(question)
        rtype, _, _, length = struct.unpack(">HHIH", answer[pos:pos + 10])
        pos += 10
        if rtype == 1 and length == 4:
            found.append(socket.inet_ntoa(answer[pos:pos + 4]))
        pos += length
    return found


def wait_served(name, address, limit=5.0):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if served(name) == [address]:
            return time.monotonic()
        time.sleep(0.002)
    return None


def link(i):
    ip("link", "add", f"w{i}", "type", "veth", "peer", "name", f"p{i}")
    ip("link", "set", f"w{i}", "up")
    ip("link", "set", f"p{i}", "up")
    subprocess.run(["sysctl", "-qw", f"net.ipv4.conf.w{i}.promote_secondaries=1"], check=True)
    return int(subprocess.check_output(["ip", "-o", "link", "show", f"w{i}"]).split(b":")[0])


def address(i, change):
    return f"10.{100 + i // 200}.{i % 200}.{10 + change}"


def watcher(i, index, build):
    home, env = make_home(
        "[Settings]\nEnableFlags=0 1 1 0 0 1 1 1 0 0 0 0 1\nForwardMethod=RFC2136\nCheckTime=1\n"
        "DNSServer=127.0.0.1\nDNSRecordName=w{i}.example.org\nDNSKeyName=bench.key\n"
        "DNSKeySecret={secret}\nLoggingFile={{home}}/log.txt\nAskRouter=0\n"
        "[Data]\nInterfaceNum=0x{index:X}\nNICDescription=w{i}\nHostName=\n".format(
            i=i, secret=SECRET, index=index))
    env.update(QV_POLL_MINUTE_MS="600000")
    env.pop("QV_BENCH_INNER", None)
    return subprocess.Popen([os.path.join(build, "cli", "quorvane-cli"), "watch"], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def change(i, old, new):
    ip("addr", "add", f"{new}/24", "dev", f"w{i}")
    ip("addr", "del", f"{old}/24", "dev", f"w{i}")


def latency(index):
    program = watcher(0, index, BUILD)
    try:
        current = address(0, 0)
        if wait_served("w0.example.org", current, 30) is None:
            sys.exit("the first update never arrived")
        times = []
        for n in range(1, 21):
            time.sleep(0.5)
            new = f"10.100.0.{100 + n}"
            ip("addr", "add", f"{new}/24", "dev", "w0")
            start = time.monotonic()
            ip("addr", "del", f"{current}/24", "dev", "w0")
            arrived = wait_served("w0.example.org", new)
            times.append(float("inf") if arrived is None else (arrived - start) * 1000)
            current = new
        ip("addr", "flush", "dev", "w0")
        ip("addr", "add", f"{address(0, 0)}/24", "dev", "w0")
        return times
    finally:
        stop(program)


def fleet(indexes):
    programs = [watcher(i, indexes[i], BUILD) for i in range(WATCHERS)]
    try:
        for i in range(WATCHERS):
            if wait_served(f"w{i}.example.org", address(i, 0), 60) is None:
                sys.exit(f"watcher {i}: the first update never arrived")
        start = time.monotonic()
        lost = 0
        for r in range(1, ROUNDS + 1):
            for i in range(WATCHERS):
                change(i, address(i, r - 1), address(i, r))
            for i in range(WATCHERS):
                if wait_served(f"w{i}.example.org", address(i, r), 10) is None:
                    lost += 1
        elapsed = time.monotonic() - start
        wrong = sum(served(f"w{i}.example.org") != [address(i, ROUNDS)] for i in range(WATCHERS))
        return WATCHERS * ROUNDS / elapsed, elapsed, lost, wrong
    finally:
        for p in programs:
            p.terminate()
        for p in programs:
            stop(p)


def main():
    if os.environ.get("QV_BENCH_INNER") != "1":
        os.environ["QV_BENCH_INNER"] = "1"
        for flags in (["-n"], ["-r", "-n"]):
            if subprocess.run(["unshare", *flags, "true"], stderr=subprocess.DEVNULL).returncode == 0:
                os.execvp("unshare", ["unshare", *flags, sys.executable, *sys.argv])
        sys.exit("network namespaces are not allowed here: cannot run the benchmark")

    ip("link", "set", "lo", "up")
    indexes = [link(i) for i in range(WATCHERS)]
    for i in range(WATCHERS):
        ip("addr", "add", f"{address(i, 0)}/24", "dev", f"w{i}")
    folder = tempfile.mkdtemp()
    with open(os.path.join(folder, "knot.conf"), "w") as f:
        f.write(KNOT_CONFIG.format(dir=folder, secret=SECRET))
    with open(os.path.join(folder, "example.org.zone"), "w") as f:
        f.write(ZONE)
    knot = subprocess.Popen(["knotd", "-c", os.path.join(folder, "knot.conf")])
    try:
        for _ in range(100):
            if served("ns1.example.org"):
                break
            time.sleep(0.05)
        times = latency(indexes[0])
        print("20 changes of the ticked address, time from the change to the record served")
        print(f"{'median ms':>12}{'worst ms':>12}")
        print(f"{statistics.median(times):12.1f}{max(times):12.1f}")
        rate, elapsed, lost, wrong = fleet(indexes)
        print(f"{WATCHERS} watchers x {ROUNDS} changes: {elapsed:.1f} s, {rate:.1f} updates/s, "
              f"{lost} not served in time, {wrong} names not holding their last address")
    finally:
        knot.terminate()
        knot.wait(10)


if __name__ == "__main__":
    main()
