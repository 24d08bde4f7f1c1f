#!/usr/bin/env python3
"""Modem-line benchmark: how soon CTS/DSR/DCD follow the program's link to
the device, and what the lines library costs a serial program per call.

Runs the program against a device on 127.0.0.1, holds its port open, and
re-runs itself through vaskorlink-run so its own ioctl calls go through the
library. Measures, over --cycles device hang-ups and reconnections:
  - link down: device closes -> a TIOCGICOUNT change and TIOCMGET without CTS
  - link up: the program's new connection accepted -> TIOCMGET with CTS
  - TIOCMIWAIT wake-up: device closes -> a waiting TIOCMIWAIT returns
and the time per call of TIOCMGET on the port, of TIOCMGET on a pty that is
not a port (the library only looks), and of FIONREAD (passed straight on).

Usage: bench/modem_lines_bench.py --bin build/release/bin [--cycles 20]
"""
import argparse
import fcntl
import os
import pty
import shutil
import statistics
import subprocess
import sys
import tempfile
import termios
import threading
import time

from relay_bench import Device, open_client

TIOCMIWAIT = 0x545C
TIOCGICOUNT = 0x545D
LINK_LINES = termios.TIOCM_CTS | termios.TIOCM_DSR | termios.TIOCM_CAR


def modem_bits(fd):
    return int.from_bytes(fcntl.ioctl(fd, termios.TIOCMGET, bytes(4)), sys.byteorder)


def cts_changes(fd):
    counts = fcntl.ioctl(fd, TIOCGICOUNT, bytes(80))
    return int.from_bytes(counts[0:4], sys.byteorder, signed=True)


def wait_until(predicate, timeout=30.0):
    start = time.perf_counter()
    while not predicate():
        if time.perf_counter() - start > timeout:
            raise RuntimeError("timed out")
    return time.perf_counter() - start


def per_call_us(call, count=20000):
    start = time.perf_counter()
    for _ in range(count):
        call()
    return (time.perf_counter() - start) / count * 1e6


def summary(name, seconds):
    ms = sorted(s * 1000 for s in seconds)
    p99 = ms[min(len(ms) - 1, int(len(ms) * 0.99))]
    print(f"{name:34} p50 {statistics.median(ms):8.2f} ms   p99 {p99:8.2f} ms   max {ms[-1]:8.2f} ms")


def measure(port_path, device, cycles):
    client = open_client(port_path)
    time.sleep(0.2)
    if modem_bits(client) & LINK_LINES != LINK_LINES:
        raise RuntimeError("lines not up at the start")
    down, wake, up = [], [], []
    for _ in range(cycles):
        woke = []
        waiter = threading.Thread(
            target=lambda: (fcntl.ioctl(client, TIOCMIWAIT, LINK_LINES), woke.append(time.perf_counter())))
        waiter.start()
        time.sleep(0.05)
        before = cts_changes(client)
        closed = time.perf_counter()
        device.conn.close()
        down.append(wait_until(lambda: cts_changes(client) != before))
        waiter.join(10)
        wake.append(woke[0] - closed)
        device.accept()
        up.append(wait_until(lambda: modem_bits(client) & termios.TIOCM_CTS))
    summary("link down -> lines off", down)
    summary("link down -> TIOCMIWAIT returns", wake)
    summary("reconnected -> lines on", up)

    master, other = pty.openpty()
    print(f"{'TIOCMGET on the port':34} {per_call_us(lambda: modem_bits(client)):8.2f} us/call")
    print(f"{'TIOCMGET on another pty':34} "
          f"{per_call_us(lambda: _refused(other)):8.2f} us/call (refused, as without)")
    fionread = per_call_us(lambda: fcntl.ioctl(client, termios.FIONREAD, bytes(4)))
    print(f"{'FIONREAD (passed on)':34} {fionread:8.2f} us/call")
    os.close(master)
    os.close(other)
    os.close(client)


def _refused(fd):
    try:
        fcntl.ioctl(fd, termios.TIOCMGET, bytes(4))
    except OSError:
        pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True, help="the build's bin folder")
    ap.add_argument("--cycles", type=int, default=20)
    args = ap.parse_args()
    bindir = os.path.abspath(args.bin)
    library = os.path.join(bindir, "libvaskorlink-lines.so")
    if library not in os.environ.get("LD_PRELOAD", ""):
        runner = os.path.join(bindir, "vaskorlink-run")
        os.execv(runner, [runner, sys.executable] + sys.argv)

    with tempfile.TemporaryDirectory() as work:
        device = Device()
        folder = os.path.join(work, "prog")
        os.makedirs(folder)
        exe = os.path.join(folder, "VaskorLinkPC")
        shutil.copy2(os.path.join(bindir, "VaskorLinkPC"), exe)
        with open(os.path.join(folder, "VaskorLinkPC.ini"), "wb") as f:
            f.write(b"[VASKORLINKPC]\r\nRemoteIP = 127.0.0.1\r\nTCPport = %d\r\n"
                    b"COMport = COM4\r\nAutoStart = True\r\n" % device.port)
        portdir = os.path.join(work, "ports")
        os.makedirs(portdir, mode=0o700)
        os.environ["VASKORLINK_PORT_DIR"] = portdir
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=portdir)
        env.pop("LD_PRELOAD", None)  # the program itself never loads the library
        proc = subprocess.Popen([exe], env=env, cwd=folder)
        try:
            device.accept()
            measure(os.path.join(portdir, "COM4"), device, args.cycles)
        finally:
            proc.terminate()
            proc.wait()
            device.close()


if __name__ == "__main__":
    sys.exit(main())
