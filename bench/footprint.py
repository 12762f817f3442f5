#!/usr/bin/python3
"""Memory and wake-ups of the idle program and of the idle headless watcher.

Each face is started with its own settings folder (polling every 5 minutes, forwarding to a
loopback host that takes it), left to settle after its first forward, and then watched: the
memory of all the processes it runs (every process that carries its settings folder in its
environment) as RSS, PSS (shared library pages shared out fairly) and USS (private pages), and the
context switches of all their threads. The program runs under Xvfb with a notification area
(trayer) when both are installed. Given several build folders, each is measured in turn, so that
two builds are compared side by side.

Below them, when a build folder has them (`cmake --build build --target footprint_floor
footprint_floor_window`), the floor: a program that only runs Qt's event loop (for the window:
with a main window, a table and a notification-area icon) and has made the same first forward
through the program's transfer client. What the faces take above it is their own.

    bench/footprint.py [build folder ...]          (QV_BENCH_SECONDS: seconds watched, 60)
Aims: the watcher at most 13 MB RSS in all; the program at most 38 MB; no wake-ups between ticks.
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
BUILDS = [os.path.abspath(b) for b in sys.argv[1:]] or [os.path.join(ROOT, "build")]
SECONDS = int(os.environ.get("QV_BENCH_SECONDS", "60"))
EARLY = 5  # the first forward is over: the memory it took
SETTLE = 30  # the start (first refresh, first forwarding, its notice) is over by then


def memory_kb(pid):
    """RSS, PSS and USS of `pid`."""
    values = {"Rss": 0, "Pss": 0, "Private_Clean": 0, "Private_Dirty": 0}
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                key = line.split(":")[0]
                if key in values:
                    values[key] = int(line.split()[1])
    except OSError:
        pass
    return values["Rss"], values["Pss"], values["Private_Clean"] + values["Private_Dirty"]


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


def total_memory(pids):
    """RSS, PSS and USS of all of `pids` together."""
    return [sum(memory_kb(pid)[i] for pid in pids) for i in range(3)]


# The benchmark's own stand-ins for a desktop (the notification area) share the program's
# environment; they are not the program's processes.
STAND_INS = set()


def processes(env):
    """The processes started for the program whose environment is `env`."""
    mark = f"XDG_RUNTIME_DIR={env['XDG_RUNTIME_DIR']}".encode()
    found = []
    for process in glob.glob("/proc/[0-9]*"):
        if int(os.path.basename(process)) in STAND_INS:
            continue
        try:
            with open(os.path.join(process, "environ"), "rb") as f:
                if mark in f.read().split(b"\0"):
                    found.append(int(os.path.basename(process)))
        except OSError:
            pass
    return found


def watch(name, command, env):
    program = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        time.sleep(EARLY)
        early = total_memory(processes(env))
        time.sleep(SETTLE - EARLY)
        if program.poll() is not None:
            print(f"{name}: ended early with status {program.returncode}", file=sys.stderr)
            return
        pids = processes(env)
        before = {t: n for pid in pids for t, n in switches(pid).items()}
        time.sleep(SECONDS)
        after = {t: n for pid in pids for t, n in switches(pid).items()}
        woken = sum(n - before.get(task, 0) for task, n in after.items())
        late = total_memory(processes(env))
        print(f"{name:20}" + "".join(f"{kb / 1024:7.1f}" for kb in early + late) +
              f"{woken * 60 / SECONDS:10.1f}")
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
    # The program makes itself non-dumpable, which closes its /proc files to a user who is not
    # root; asking for core dumps keeps them readable for the measurement.
    env["QUORVANE_CORE_DUMPS"] = "1"
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
            STAND_INS.add(helpers[-1].pid)
            time.sleep(1)
        gui_env = dict(env, QT_QPA_PLATFORM="xcb")
    else:
        gui_env = dict(env, QT_QPA_PLATFORM="offscreen")

    print(f"idle for {SECONDS} s after {SETTLE} s to settle")
    print(f"MB, all processes together: at {EARLY} s (after the first forward), then idle")
    print(f"{'':20}{'RSS':>7}{'PSS':>7}{'USS':>7}{'RSS':>7}{'PSS':>7}{'USS':>7}{'wake/min':>10}")
    try:
        for build in BUILDS:
            print(build)
            watch("program", [os.path.join(build, "shell", "quorvane")], gui_env)
            watch("quorvane-cli watch", [os.path.join(build, "cli", "quorvane-cli"), "watch"],
                  env)
        floors = [os.path.join(build, "tests", "forwarding", "footprint_floor")
                  for build in BUILDS]
        floor = next((f for f in floors if os.path.exists(f + "_window")), None)
        if floor:
            url = f"http://127.0.0.1:{host.server_port}/ip.php"
            print("floor: Qt's event loop and the same first forward")
            watch("window", [floor + "_window", url], gui_env)
            watch("event loop", [floor, url], env)
    finally:
        for h in reversed(helpers):
            h.terminate()
            h.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
