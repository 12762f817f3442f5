#!/usr/bin/python3
"""Time from a change of the ticked address to the forwarding request at the host.

Inside a private network namespace, the program watches the address of a veth link with a
polling period of ten minutes, so only the kernel's announcements can find a change in time. The
address is changed 20 times; for each change the time from the kernel taking the change to the
request arriving at a loopback web host is measured, and the median and the worst are printed.

Run it after a build, as root (or where `unshare -r -n` is allowed):
    bench/change_latency.py [build folder] [changes]
Aims on the 2-core machine: median under 300 ms, worst under 1 s.
"""
import http.server
import os
import statistics
import subprocess
import sys
import threading
import time

from quorvane_home import make_home, stop

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
CHANGES = int(sys.argv[2]) if len(sys.argv) > 2 else 20


def ip(*args):
    subprocess.run(["ip", *args], check=True)


class Host(http.server.BaseHTTPRequestHandler):
    arrivals = []  # (monotonic time, request line)
    lock = threading.Lock()

    def _answer(self):
        with Host.lock:
            Host.arrivals.append((time.monotonic(), self.requestline))
        body = b"<p>done</p>"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    do_GET = do_POST = do_HEAD = _answer

    def log_message(self, *args):
        pass


def wait_for(address, since, limit=5.0):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        with Host.lock:
            for at, line in Host.arrivals:
                if at >= since and "IPAddress=" + address in line:
                    return at
        time.sleep(0.002)
    return None


def measure(name, command, env):
    program = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        if wait_for("10.77.0.2", 0, 30) is None:
            print(f"{name}: the first forwarding never arrived", file=sys.stderr)
            return None
        times, current = [], "10.77.0.2"
        for i in range(CHANGES):
            time.sleep(1.0)  # let the previous burst settle
            new = f"10.77.0.{10 + i}"
            ip("addr", "add", f"{new}/24", "dev", "v0")
            start = time.monotonic()
            ip("addr", "del", f"{current}/24", "dev", "v0")
            arrived = wait_for(new, start)
            times.append(float("inf") if arrived is None else (arrived - start) * 1000)
            current = new
        ip("addr", "flush", "dev", "v0")
        ip("addr", "add", "10.77.0.2/24", "dev", "v0")
        return times
    finally:
        stop(program)


def main():
    if os.environ.get("QV_BENCH_INNER") != "1":
        os.environ["QV_BENCH_INNER"] = "1"
        for flags in (["-n"], ["-r", "-n"]):
            if subprocess.run(["unshare", *flags, "true"], stderr=subprocess.DEVNULL).returncode == 0:
                os.execvp("unshare", ["unshare", *flags, sys.executable, *sys.argv])
        sys.exit("network namespaces are not allowed here: cannot run the benchmark")

    ip("link", "set", "lo", "up")
    ip("link", "add", "v0", "type", "veth", "peer", "name", "v1")
    ip("addr", "add", "10.77.0.2/24", "dev", "v0")
    ip("link", "set", "v0", "up")
    # Deleting the old address must leave the new one, added beside it, in place.
    subprocess.run(["sysctl", "-qw", "net.ipv4.conf.v0.promote_secondaries=1"], check=True)
    ip("link", "set", "v1", "up")
    index = int(subprocess.check_output(["ip", "-o", "link", "show", "v0"]).split(b":")[0])
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 80), Host)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    home, env = make_home("[Settings]\nEnableFlags=0 1 1 1 0 1 1 1 0 1 0 0 1\nCheckTime=1\n"
                          "HTTPTargetURL=http://127.0.0.1/ip.php\nLoggingFile={home}/log.txt\n"
                          f"[Data]\nInterfaceNum=0x{index:X}\nNICDescription=v0\nHostName=\n")
    env.update(QT_QPA_PLATFORM="offscreen", QV_POLL_MINUTE_MS="600000")
    env.pop("QV_BENCH_INNER", None)

    faces = [("program", [os.path.join(BUILD, "shell", "quorvane")]),
             ("quorvane-cli watch", [os.path.join(BUILD, "cli", "quorvane-cli"), "watch"])]
    print(f"{CHANGES} changes of the ticked address, time from the change to the request at the host")
    print(f"{'':22}{'median ms':>12}{'worst ms':>12}")
    for name, command in faces:
        times = measure(name, command, env)
        if times:
            print(f"{name:22}{statistics.median(times):12.1f}{max(times):12.1f}")
    server.shutdown()


if __name__ == "__main__":
    main()
