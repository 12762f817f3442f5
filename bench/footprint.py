#!/usr/bin/python3
"""Resident memory and wake-ups of the idle program and of the idle headless watcher.

Each face is started with its own empty settings folder (polling every 5 minutes, nothing that
answers), left to settle, and then watched for a minute: resident memory (RSS, and PSS, which
shares the libraries fairly), the context switches of all its threads over that minute, and how
many transfer helpers (the processes that hold libcurl) are still running for it. The
program runs under Xvfb with a notification area (trayer) when both are installed.

    bench/footprint.py [build folder] [seconds watched, default 60]
Aims: the watcher under 12 MB RSS, the program no more than 45 MB; no wake-ups between ticks.
"""
import glob
import http.server
import os
import shutil
import subprocess
import sys
import threading
import time

from quorvane_home import make_home, stop

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
SECONDS = int(sys.argv[2]) if len(sys.argv) > 2 else 60
SETTLE = 30  # the start (first refresh, first forwarding, its notice) is over by then


def status_kb(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def pss_kb(pid):
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def switches(pid):
    """Context switches so far of each thread of `pid`, by thread id."""
    counts = {}
    for task in glob.glob(f"/proc/{pid}/task/*"):
        try:
            with open(os.path.join(task, "status")) as f:
                counts[task] = sum(int(line.split()[1]) for line in f if line.startswith(
                    ("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")))
        except OSError:
            pass
    return counts


def transfer_helpers(env):
    """Transfer helpers (which hold libcurl) still running for the program started with `env`."""
    mark = f"XDG_RUNTIME_DIR={env['XDG_RUNTIME_DIR']}".encode()
    count = 0
    for process in glob.glob("/proc/[0-9]*"):
        try:
            with open(os.path.join(process, "comm")) as f:
                if f.read().strip() != "quorvane-transf":  # the name, cut to 15 characters
                    continue
            with open(os.path.join(process, "environ"), "rb") as f:
                count += mark in f.read().split(b"\0")
        except OSError:
            pass
    return count


def watch(name, command, env):
    program = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        time.sleep(SETTLE)
        if program.poll() is not None:
            print(f"{name}: ended early with status {program.returncode}", file=sys.stderr)
            return
        before = switches(program.pid)
        time.sleep(SECONDS)
        after = switches(program.pid)
        woken = sum(n - before.get(task, 0) for task, n in after.items())
        rss, pss = status_kb(program.pid, "VmRSS"), pss_kb(program.pid)
        print(f"{name:22}{rss / 1024:10.1f}{pss / 1024:10.1f}{woken * 60 / SECONDS:14.1f}"
              f"{transfer_helpers(env):10}")
    finally:
        stop(program)


class Host(http.server.BaseHTTPRequestHandler):
    """A web host that takes every forwarding, so that no retry follows the first one."""

    def do_POST(self):
        self.send_response(200)
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"OK")

    def log_message(self, *args):
        pass


def main():
    # Polling every 5 minutes and forwarding the loopback address by HTTP to a loopback host that
    # takes it: after the first forwarding nothing happens until the next tick.
    host = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Host)
    threading.Thread(target=host.serve_forever, daemon=True).start()
    home, env = make_home("[Settings]\nEnableFlags=0 1 1 1 0 1 1 1 0 1 0 0 0\nCheckTime=5\n"
                          f"HTTPTargetURL=http://127.0.0.1:{host.server_port}/ip.php\n"
                          "[Data]\nInterfaceNum=0x1\nNICDescription=lo\nHostName=\n")
    helpers = []
    if shutil.which("Xvfb"):
        display = ":73"
        helpers.append(subprocess.Popen(["Xvfb", display, "-screen", "0", "1024x768x24"],
                                        stderr=subprocess.DEVNULL))
        time.sleep(1)
        env["DISPLAY"] = display
        env.pop("WAYLAND_DISPLAY", None)
        if shutil.which("trayer"):
            helpers.append(subprocess.Popen(["trayer"], env=env, stderr=subprocess.DEVNULL))
            time.sleep(1)
        gui_env = dict(env, QT_QPA_PLATFORM="xcb")
    else:
        gui_env = dict(env, QT_QPA_PLATFORM="offscreen")

    print(f"idle for {SECONDS} s after {SETTLE} s to settle")
    print(f"{'':22}{'RSS MB':>10}{'PSS MB':>10}{'wake-ups/min':>14}{'helpers':>10}")
    try:
        watch("program", [os.path.join(BUILD, "shell", "quorvane")], gui_env)
        watch("quorvane-cli watch", [os.path.join(BUILD, "cli", "quorvane-cli"), "watch"], env)
    finally:
        for h in reversed(helpers):
            h.terminate()
            h.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
