#!/usr/bin/env python3
"""Relay benchmark: VaskorLinkPC against socat, in the same run, same machine.

Both bridge a pseudo-terminal to a TCP device on 127.0.0.1. For each we
measure, bytes both ways:
  - bulk throughput (MB/s) client->device and device->client
  - one-way delay p50/p99 for 1-byte and 64-byte messages, both directions
  - CPU seconds per MB moved (the bridge process's user+system time)
  - idle CPU (% of one core) with the link up and a client attached
  - peak resident memory, and resident memory while the client stops reading

Usage: bench/relay_bench.py --exe build/release/bin/VaskorLinkPC [--mib 128]
"""
import argparse
import os
import select
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty

from procstats import proc_cpu_seconds, proc_status_kib


class Device:
    """The TCP device: a listening socket on 127.0.0.1, one connection."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.conn = None

    def accept(self, timeout=20):
        self.listener.settimeout(timeout)
        self.conn, _ = self.listener.accept()
        self.conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.conn.setblocking(True)

    def close(self):
        if self.conn:
            self.conn.close()
        self.listener.close()


def open_client(path, timeout=20):
    deadline = time.time() + timeout
    while not os.path.exists(path):
        if time.time() > deadline:
            raise RuntimeError(f"{path} did not appear")
        time.sleep(0.01)
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    return fd


def read_exactly_fd(fd, n):
    got = 0
    while got < n:
        chunk = os.read(fd, min(1 << 20, n - got))
        if not chunk:
            raise RuntimeError("client side closed")
        got += len(chunk)


def read_exactly_sock(sock, n):
    got = 0
    while got < n:
        chunk = sock.recv(min(1 << 20, n - got))
        if not chunk:
            raise RuntimeError("device side closed")
        got += len(chunk)


def write_all_fd(fd, data):
    view = memoryview(data)
    while view:
        n = os.write(fd, view)
        view = view[n:]


def bulk(send, recv, total, block):
    data = os.urandom(block)
    def writer():
        left = total
        while left > 0:
            send(data[: min(block, left)])
            left -= min(block, left)
    t = threading.Thread(target=writer)
    start = time.perf_counter()
    t.start()
    recv(total)
    t.join()
    return total / (time.perf_counter() - start) / 1e6


def delays(send, recv, size, count):
    out = []
    msg = b"\x5a" * size
    for _ in range(count):
        start = time.perf_counter()
        send(msg)
        recv(size)
        out.append((time.perf_counter() - start) * 1000)
        time.sleep(0.005)
    out.sort()
    return out[len(out) // 2], out[min(len(out) - 1, int(len(out) * 0.99))]


def measure(name, pid, device, client, mib):
    total = mib * 1024 * 1024
    r = {"name": name}
    c2d_send = lambda b: write_all_fd(client, b)
    c2d_recv = lambda n: read_exactly_sock(device.conn, n)
    d2c_send = lambda b: device.conn.sendall(b)
    d2c_recv = lambda n: read_exactly_fd(client, n)

    cpu0 = proc_cpu_seconds(pid)
    r["c2d_MBps"] = bulk(c2d_send, c2d_recv, total, 65536)
    r["d2c_MBps"] = bulk(d2c_send, d2c_recv, total, 65536)
    r["cpu_s_per_MB"] = (proc_cpu_seconds(pid) - cpu0) / (2 * total / 1e6)

    for size in (1, 64):
        r[f"c2d_{size}B_p50_ms"], r[f"c2d_{size}B_p99_ms"] = delays(c2d_send, c2d_recv, size, 200)
        r[f"d2c_{size}B_p50_ms"], r[f"d2c_{size}B_p99_ms"] = delays(d2c_send, d2c_recv, size, 200)

    cpu0 = proc_cpu_seconds(pid)
    time.sleep(5)
    r["idle_cpu_pct"] = (proc_cpu_seconds(pid) - cpu0) / 5 * 100
    r["peak_rss_MiB"] = proc_status_kib(pid, "VmHWM") / 1024

    # A client that stops reading while the device keeps sending: the
    # bridge's memory should stay bounded.
    stop = threading.Event()
    sent = [0]
    def flood():
        device.conn.setblocking(False)
        chunk = b"\xa5" * 65536
        while not stop.is_set():
            try:
                sent[0] += device.conn.send(chunk)
            except BlockingIOError:
                time.sleep(0.01)
        device.conn.setblocking(True)
    t = threading.Thread(target=flood)
    t.start()
    time.sleep(4)
    r["rss_client_stalled_MiB"] = proc_status_kib(pid, "VmRSS") / 1024
    r["sent_while_stalled_MiB"] = sent[0] / 1048576
    stop.set()
    t.join()
    return r


def run_socat(workdir, device, mib):
    link = os.path.join(workdir, "SOCAT")
    proc = subprocess.Popen(["socat", f"pty,link={link},raw,echo=0",
                             f"tcp:127.0.0.1:{device.port}"])
    device.accept()
    client = open_client(link)
    try:
        return measure("socat", proc.pid, device, client, mib)
    finally:
        os.close(client)
        proc.kill()
        proc.wait()


def run_vaskor(exe, workdir, device, mib):
    folder = os.path.join(workdir, "prog")
    os.makedirs(folder)
    copy = os.path.join(folder, "VaskorLinkPC")
    shutil.copy2(exe, copy)
    with open(os.path.join(folder, "VaskorLinkPC.ini"), "wb") as f:
        f.write(b"[VASKORLINKPC]\r\nRemoteIP = 127.0.0.1\r\nTCPport = %d\r\n"
                b"COMport = COM4\r\nAutoStart = True\r\n" % device.port)
    portdir = os.path.join(workdir, "ports")
    os.makedirs(portdir, mode=0o700)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", VASKORLINK_PORT_DIR=portdir,
               XDG_RUNTIME_DIR=portdir)
    proc = subprocess.Popen([copy], env=env, cwd=folder)
    device.accept()
    client = open_client(os.path.join(portdir, "COM4"))
    time.sleep(0.2)  # let the program see the client open the port
    try:
        return measure("VaskorLinkPC", proc.pid, device, client, mib)
    finally:
        os.close(client)
        proc.terminate()
        proc.wait()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--mib", type=int, default=128)
    args = ap.parse_args()
    results = []
    with tempfile.TemporaryDirectory() as work:
        for runner in ("socat", "vaskor"):
            device = Device()
            try:
                if runner == "socat":
                    results.append(run_socat(work, device, args.mib))
                else:
                    results.append(run_vaskor(args.exe, work, device, args.mib))
            finally:
                device.close()
    keys = [k for k in results[0] if k != "name"]
    print(f"{'measure':28}" + "".join(f"{r['name']:>16}" for r in results))
    for k in keys:
        print(f"{k:28}" + "".join(f"{r[k]:16.3f}" for r in results))


if __name__ == "__main__":
    sys.exit(main())
