#!/usr/bin/env python3
"""What each further bridge costs: 1, 2, ... N named instances of VaskorLinkPC
side by side (VASKORLINK_INSTANCE), each linked to its own echoing device
simulator on 127.0.0.1 and a client on its port. For every count, measured
from /proc over a window:
  - idle: link up, client attached, nothing sent
  - serial: the client sends 64-byte messages at about 115200 baud (11.5 kB/s)
    and reads the echo
  - bulk: the same at 1 MB/s each way
per bridge: CPU (% of one core), resident memory (RSS) and private memory
(pages no other process shares, i.e. what one more process really adds).

Usage: bench/instances_bench.py --exe build/release/bin/VaskorLinkPC
           [--sim build/release/bin/vaskor-device-sim] [--max 3] [--seconds 10]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import threading
import time
import tty

from procstats import proc_cpu_seconds, proc_private_kib, proc_status_kib

LOADS = {"idle": 0, "serial": 11520, "bulk": 1_000_000}


class Bridge:
    """One named instance with its device simulator."""

    def __init__(self, name, exe, sim, dirs):
        self.name = name
        self.sim = subprocess.Popen([sim, "--port", "0", "--echo"], stdout=subprocess.PIPE,
                                    text=True)
        line = self.sim.stdout.readline()
        port = int(re.search(r":(\d+)", line).group(1))
        ini_dir = os.path.join(dirs["XDG_CONFIG_HOME"], "VaskorLinkPC", name)
        os.makedirs(ini_dir, mode=0o700)
        with open(os.path.join(ini_dir, "VaskorLinkPC.ini"), "wb") as f:
            f.write(b"[VASKORLINKPC]\r\nRemoteIP = 127.0.0.1\r\nTCPport = %d\r\n"
                    b"COMport = %s\r\nAutoStart = True\r\n" % (port, name.upper().encode()))
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(dirs, QT_QPA_PLATFORM="offscreen", VASKORLINK_INSTANCE=name)
        self.proc = subprocess.Popen([exe], env=env, stderr=subprocess.DEVNULL)
        path = os.path.join(dirs["VASKORLINK_PORT_DIR"], name.upper())
        deadline = time.time() + 20
        while not os.path.islink(path):
            if time.time() > deadline:
                raise RuntimeError(f"{path} did not appear")
            time.sleep(0.02)
        self.client = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.client)
        self.echoed = 0
        self.sent = 0

    def traffic(self, rate, stop):
        """Sends at `rate` bytes/s in 64-byte messages; a reader takes the echo."""
        done = threading.Event()

        def reader():
            while not done.is_set():
                try:
                    self.echoed += len(os.read(self.client, 65536))
                except BlockingIOError:
                    time.sleep(0.001)
        os.set_blocking(self.client, False)
        thread = threading.Thread(target=reader, daemon=True)
        thread.start()
        message = b"\x5a" * 64
        start = time.perf_counter()
        while not stop.is_set():
            due = int((time.perf_counter() - start) * rate) - self.sent
            while due >= 64:
                try:
                    self.sent += os.write(self.client, message)
                except BlockingIOError:
                    break
                due -= 64
            time.sleep(0.002)
        deadline = time.time() + 10
        while self.echoed < self.sent and time.time() < deadline:
            time.sleep(0.01)
        done.set()
        thread.join()

    def close(self):
        os.close(self.client)
        time.sleep(0.2)
        self.proc.terminate()
        self.proc.wait(timeout=15)
        self.sim.terminate()
        self.sim.wait(timeout=5)


def window(bridges, load, seconds):
    stop = threading.Event()
    threads = []
    if LOADS[load]:
        for b in bridges:
            b.sent = b.echoed = 0
            threads.append(threading.Thread(target=b.traffic, args=(LOADS[load], stop)))
            threads[-1].start()
        time.sleep(1)  # let the streams settle before counting
    cpu0 = [proc_cpu_seconds(b.proc.pid) for b in bridges]
    t0 = time.perf_counter()
    time.sleep(seconds)
    elapsed = time.perf_counter() - t0
    cpu = [(proc_cpu_seconds(b.proc.pid) - c) / elapsed * 100 for b, c in zip(bridges, cpu0)]
    rss = [proc_status_kib(b.proc.pid, "VmRSS") for b in bridges]
    private = [proc_private_kib(b.proc.pid) for b in bridges]
    stop.set()
    for t in threads:
        t.join()
    lost = [b.name for b in bridges if LOADS[load] and b.echoed != b.sent]
    if lost:
        raise RuntimeError(f"echo incomplete for {lost}")
    return cpu, rss, private


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--sim", default=None)
    ap.add_argument("--max", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=10)
    args = ap.parse_args()
    exe = os.path.abspath(args.exe)
    sim = os.path.abspath(args.sim or os.path.join(os.path.dirname(exe), "vaskor-device-sim"))

    print(f"{'bridges':>7} {'load':>6} | {'CPU % per bridge':>22} | {'RSS MiB':>18} | "
          f"{'private MiB':>18} | total CPU %")
    with tempfile.TemporaryDirectory() as top:
        dirs = {}
        for key, sub in (("XDG_RUNTIME_DIR", "run"), ("XDG_CONFIG_HOME", "config"),
                         ("VASKORLINK_PORT_DIR", "ports")):
            dirs[key] = os.path.join(top, sub)
            os.makedirs(dirs[key], mode=0o700)
        bridges = []
        try:
            for n in range(1, args.max + 1):
                bridges.append(Bridge(f"bench{n}", exe, sim, dirs))
                time.sleep(1)
                for load in LOADS:
                    cpu, rss, private = window(bridges, load, args.seconds)
                    fmt = lambda xs, d: " ".join(f"{x:.{d}f}" for x in xs)
                    print(f"{n:>7} {load:>6} | {fmt(cpu, 2):>22} | "
                          f"{fmt([r / 1024 for r in rss], 1):>18} | "
                          f"{fmt([p / 1024 for p in private], 1):>18} | {sum(cpu):.2f}",
                          flush=True)
        finally:
            for b in bridges:
                b.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
