#!/usr/bin/env python3
"""Relay benchmark: VaskorLinkPC against socat, in the same run, same machine.

Both bridge a pseudo-terminal to a TCP device on 127.0.0.1. For each we
measure, every transfer checked byte for byte:
  - bulk throughput (MB/s) client->device and device->client, 20 MB and --mib
  - CPU ms per MB each way (all threads, from /proc/PID/task/*/schedstat)
  - one-way delay p50/p99 for 1- and 64-byte messages at random gaps
  - wake-ups per second and CPU while idle: link up with no client, with a
    client open and quiet, and after the client closed
  - bytes held in the path and RSS growth while one side stops reading
  - peak resident memory after the bulk runs
  - request/response rate: 8 bytes out, an 8-byte answer back, 200 times
VaskorLinkPC runs twice: at the default tick and with RelayTick = 1.

All bridges run at once, each with its own device, and take every timed
measurement in turn, round after round (transfers three times, the medians
kept; delays in ten blocks; polls in three blocks of 200, the median kept),
so that the machine's fast and slow spells fall on all of them rather than
on whichever ran then.

Usage: bench/relay_bench.py --exe build/release/bin/VaskorLinkPC [--mib 128]
"""
import argparse
import gc
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

from procstats import proc_all_context_switches, proc_schedstat_seconds, proc_status_kib
import random


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


def open_client(path, timeout=20, check_only=False):
    deadline = time.time() + timeout
    while not os.path.exists(path):
        if time.time() > deadline:
            raise RuntimeError(f"{path} did not appear")
        time.sleep(0.01)
    if check_only:
        return None
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    return fd


PATTERN = os.urandom(1 << 16) * 2


def expect_stream(chunk, position):
    """Checks `chunk` against the repeating pattern at stream `position`."""
    offset = position % (1 << 16)
    for i in range(0, len(chunk), 1 << 16):
        piece = chunk[i:i + (1 << 16)]
        if piece != PATTERN[offset:offset + len(piece)]:
            raise RuntimeError(f"bytes differ near offset {position + i}")
        offset = (offset + len(piece)) % (1 << 16)


def read_exactly_fd(fd, n, check=True):
    got = 0
    while got < n:
        chunk = os.read(fd, min(1 << 20, n - got))
        if not chunk:
            raise RuntimeError("client side closed")
        if check:
            expect_stream(chunk, got)
        got += len(chunk)


def read_exactly_sock(sock, n, check=True):
    got = 0
    while got < n:
        chunk = sock.recv(min(1 << 20, n - got))
        if not chunk:
            raise RuntimeError("device side closed")
        if check:
            expect_stream(chunk, got)
        got += len(chunk)


def expect_message(read, n, msg):
    """Reads `n` bytes with `read(count)` and checks they are `msg`."""
    got = b""
    while len(got) < n:
        got += read(n - len(got))
    if got != msg:
        raise RuntimeError("message changed")


def write_all_fd(fd, data):
    view = memoryview(data)
    while view:
        n = os.write(fd, view)
        view = view[n:]


def bulk(send, recv, total, pid):
    """MB/s and CPU ms per MB of one transfer of `total` pattern bytes."""
    def writer():
        position = 0
        while position < total:
            n = min(1 << 16, total - position)
            offset = position % (1 << 16)
            send(PATTERN[offset:offset + n])
            position += n
    t = threading.Thread(target=writer)
    cpu0 = proc_schedstat_seconds(pid)
    start = time.perf_counter()
    t.start()
    recv(total)
    t.join()
    seconds = time.perf_counter() - start
    return total / seconds / 1e6, (proc_schedstat_seconds(pid) - cpu0) * 1000 / (total / 1e6)


def delays(send, recv, size, count):
    """One-way delays (ms) of `count` messages of `size` bytes, sent at
    random gaps, each received whole and checked."""
    out = []
    msg = bytes(random.randrange(256) for _ in range(size))
    for _ in range(count):
        start = time.perf_counter()
        send(msg)
        recv(size, msg)
        out.append((time.perf_counter() - start) * 1000)
        time.sleep(random.uniform(0.001, 0.02))
    return out


def p50_p99(samples):
    samples = sorted(samples)
    return samples[len(samples) // 2], samples[min(len(samples) - 1, int(len(samples) * 0.99))]


def idle(pids, seconds=4):
    """Wake-ups per second and % CPU of each process over one quiet spell
    (NaN for a bridge that has ended, as socat does when its client closes)."""
    alive = lambda pid: os.path.exists(f"/proc/{pid}/task")
    before = {pid: (proc_all_context_switches(pid), proc_schedstat_seconds(pid))
              for pid in pids if alive(pid)}
    time.sleep(seconds)
    out = {}
    for pid in pids:
        if pid not in before or not alive(pid):
            out[pid] = (float("nan"), float("nan"))
            continue
        ctx0, cpu0 = before[pid]
        out[pid] = ((proc_all_context_switches(pid) - ctx0) / seconds,
                    (proc_schedstat_seconds(pid) - cpu0) / seconds * 100)
    return out


def request_response(client, device, count=200, turnaround=0.0):
    """Polls per second of a client that writes 8 bytes and waits for the
    device's 8-byte answer, given after `turnaround` seconds (a real serial
    device takes milliseconds to answer; 0 is the bridges' bare cost)."""
    stop = threading.Event()
    def answer():
        while not stop.is_set():
            request = b""
            while len(request) < 8:
                chunk = device.conn.recv(8 - len(request))
                if not chunk:
                    return
                request += chunk
            if turnaround:
                time.sleep(turnaround)
            device.conn.sendall(request[::-1])
            if request == b"\xff" * 8:
                return
    t = threading.Thread(target=answer)
    t.start()
    start = time.perf_counter()
    for i in range(count):
        request = i.to_bytes(8, "big") if i < count - 1 else b"\xff" * 8
        write_all_fd(client, request)
        got = b""
        while len(got) < 8:
            got += os.read(client, 8 - len(got))
        if got != request[::-1]:
            raise RuntimeError("wrong answer")
    rate = count / (time.perf_counter() - start)
    stop.set()
    t.join()
    return rate


def held_while_stalled(pid, fd, offer, drain, settle=1.0, seconds=20, limit=50 << 20):
    """Offers up to `limit` bytes to a side that does not read, writing
    whenever `fd` is writable, until it has stayed full for `settle` seconds;
    returns the bytes the path took (MiB) and the bridge's RSS growth (MiB),
    then reads them all on the stalled side and checks them."""
    rss0 = proc_status_kib(pid, "VmRSS")
    taken = 0
    deadline = time.time() + seconds
    while time.time() < deadline and taken < limit:
        offset = taken % (1 << 16)
        n = offer(PATTERN[offset:offset + (1 << 16)])
        if n:
            taken += n
        elif not select.select([], [fd], [], settle)[1]:
            break
    growth = (proc_status_kib(pid, "VmRSS") - rss0) / 1024
    drain(taken)
    return taken / 1048576, growth


def nonblocking_fd_writer(fd):
    def offer(data):
        try:
            return os.write(fd, data)
        except BlockingIOError:
            return 0
    return offer


def nonblocking_sock_sender(sock):
    def offer(data):
        try:
            return sock.send(data, socket.MSG_DONTWAIT)
        except BlockingIOError:
            return 0
    return offer


class Bridge:
    """One bridge under test, its own device, and its client once opened."""

    def __init__(self, name, proc, device, port_path):
        self.name, self.proc, self.pid = name, proc, proc.pid
        self.device, self.port_path = device, port_path
        self.client = None
        self.r = {"name": name}

    def open_client(self):
        self.client = open_client(self.port_path)

    def close_client(self):
        os.close(self.client)
        self.client = None

    def stop(self):
        if self.client is not None:
            self.close_client()
            time.sleep(0.2)
        if self.name == "socat":
            self.proc.kill()
        else:
            self.proc.terminate()
        self.proc.wait()
        self.device.close()

    # The two directions' send and receive-and-check, for bulk and delays.
    def c2d_send(self, data):
        write_all_fd(self.client, data)

    def d2c_send(self, data):
        self.device.conn.sendall(data)

    def c2d_recv(self, n, msg):
        expect_message(self.device.conn.recv, n, msg)

    def d2c_recv(self, n, msg):
        expect_message(lambda k: os.read(self.client, k), n, msg)


def start_socat(workdir):
    device = Device()
    link = os.path.join(workdir, "SOCAT")
    proc = subprocess.Popen(["socat", f"pty,link={link},raw,echo=0",
                             f"tcp:127.0.0.1:{device.port}"])
    device.accept()
    return Bridge("socat", proc, device, link)


def start_vaskor(exe, workdir, relay_tick):
    device = Device()
    folder = os.path.join(workdir, f"prog{relay_tick}")
    os.makedirs(folder)
    copy = os.path.join(folder, "VaskorLinkPC")
    shutil.copy2(exe, copy)
    tick_line = b"RelayTick = %d\r\n" % relay_tick if relay_tick != 50 else b""
    with open(os.path.join(folder, "VaskorLinkPC.ini"), "wb") as f:
        f.write(b"[VASKORLINKPC]\r\nRemoteIP = 127.0.0.1\r\nTCPport = %d\r\n"
                b"COMport = COM4\r\nAutoStart = True\r\n%s" % (device.port, tick_line))
    portdir = os.path.join(workdir, f"ports{relay_tick}")
    os.makedirs(portdir, mode=0o700)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", VASKORLINK_PORT_DIR=portdir,
               XDG_RUNTIME_DIR=portdir)
    proc = subprocess.Popen([copy], env=env, cwd=folder)
    device.accept()
    port = os.path.join(portdir, "COM4")
    open_client(port, check_only=True)
    name = "VaskorLinkPC" if relay_tick == 50 else f"VLPC tick={relay_tick}"
    return Bridge(name, proc, device, port)


def measure_idle(bridges, label):
    for b, (wakeups, cpu) in zip(bridges, idle([b.pid for b in bridges]).values()):
        b.r[f"idle_{label}_wakeups_per_s"], b.r[f"idle_{label}_cpu_pct"] = wakeups, cpu


def measure_stalls(b, when):
    """One side stops reading, each way in turn. On a fresh link the kernel's
    socket buffers are small; after bulk transfers TCP has grown them (the
    device's receive buffer most), for both bridges alike."""
    client, conn = b.client, b.device.conn
    os.set_blocking(client, False)
    b.r[f"held_d2c_client_stalled_{when}_MiB"], b.r[f"rss_growth_d2c_stalled_{when}_MiB"] = \
        held_while_stalled(b.pid, conn.fileno(), nonblocking_sock_sender(conn),
                           lambda n: (os.set_blocking(client, True), read_exactly_fd(client, n)))
    os.set_blocking(client, False)
    b.r[f"held_c2d_device_stalled_{when}_MiB"], b.r[f"rss_growth_c2d_stalled_{when}_MiB"] = \
        held_while_stalled(b.pid, client, nonblocking_fd_writer(client),
                           lambda n: read_exactly_sock(conn, n))
    os.set_blocking(client, True)


def measure_bulk(bridges, label, total, rounds):
    """Each bridge's transfers in turn, `rounds` times over, so that the
    machine's slow and fast spells fall on all of them: the median round."""
    runs = {b.name: {"c2d": [], "d2c": []} for b in bridges}
    for _ in range(rounds):
        for b in bridges:
            runs[b.name]["c2d"].append(bulk(
                b.c2d_send, lambda n: read_exactly_sock(b.device.conn, n), total, b.pid))
            runs[b.name]["d2c"].append(bulk(
                b.d2c_send, lambda n: read_exactly_fd(b.client, n), total, b.pid))
    for b in bridges:
        for way in ("c2d", "d2c"):
            rates = [rate for rate, _ in runs[b.name][way]]
            costs = [cost for _, cost in runs[b.name][way]]
            b.r[f"{way}_{label}_MBps"] = statistics.median(rates)
            b.r[f"{way}_{label}_cpu_ms_per_MB"] = statistics.median(costs)


def measure_delays(bridges, count, rounds):
    """Delays in blocks, each bridge in turn: every bridge meets the
    machine's quiet and busy spells alike."""
    for size in (1, 64):
        for way in ("c2d", "d2c"):
            samples = {b.name: [] for b in bridges}
            for _ in range(rounds):
                for b in bridges:
                    send, recv = (b.c2d_send, b.c2d_recv) if way == "c2d" else (b.d2c_send, b.d2c_recv)
                    samples[b.name] += delays(send, recv, size, count // rounds)
            for b in bridges:
                b.r[f"{way}_{size}B_p50_ms"], b.r[f"{way}_{size}B_p99_ms"] = p50_p99(samples[b.name])


def measure_request_response(bridges, key, count, rounds, turnaround=0.0):
    """Polls per second: the median of `rounds` blocks of `count` polls,
    taken in turn by the bridges."""
    rates = {b.name: [] for b in bridges}
    for _ in range(rounds):
        for b in bridges:
            # A poller runs all day: the first polls after the other
            # bridges' turns, cold in every cache, are not timed.
            request_response(b.client, b.device, 20, turnaround)
            rates[b.name].append(request_response(b.client, b.device, count, turnaround))
    for b in bridges:
        b.r[key] = statistics.median(rates[b.name])


def measure_all(bridges, mib, quick):
    rounds = 1 if quick else 3
    if not quick:
        measure_idle(bridges, "no_client")
    for b in bridges:
        b.open_client()
    time.sleep(0.3)
    if not quick:
        measure_idle(bridges, "client_open")
    for b in bridges:
        measure_stalls(b, "fresh")
    if not quick:
        measure_bulk(bridges, "20MB", 20 * 1000 * 1000, rounds)
    measure_bulk(bridges, f"{mib}MiB", mib << 20, rounds)
    for b in bridges:
        b.r["peak_rss_MiB"] = proc_status_kib(b.pid, "VmHWM") / 1024
    if not quick:
        # The collector's pauses would land in whichever sample they hit.
        gc.collect()
        gc.disable()
        measure_delays(bridges, count=400, rounds=10)
        measure_request_response(bridges, "req_resp_per_s", count=200, rounds=3)
        measure_request_response(bridges, "req_resp_5ms_device_per_s", count=200, rounds=3,
                                 turnaround=0.005)
        gc.enable()
    for b in bridges:
        measure_stalls(b, "after_bulk")
        b.r["peak_rss_after_stalls_MiB"] = proc_status_kib(b.pid, "VmHWM") / 1024
    for b in bridges:
        b.close_client()
    time.sleep(1.5)
    if not quick:
        measure_idle(bridges, "after_close")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--mib", type=int, default=128)
    ap.add_argument("--quick", action="store_true",
                    help="only the large transfer, the stalls and peak memory")
    ap.add_argument("--ticks", default="50,1",
                    help="RelayTick values to run VaskorLinkPC with, comma-separated")
    args = ap.parse_args()
    bridges = []
    with tempfile.TemporaryDirectory() as work:
        try:
            bridges.append(start_socat(work))
            for tick in (int(t) for t in args.ticks.split(",")):
                bridges.append(start_vaskor(args.exe, work, tick))
            measure_all(bridges, args.mib, args.quick)
        finally:
            for b in bridges:
                b.stop()
    results = [b.r for b in bridges]
    keys = [k for k in results[0] if k != "name"]
    print(f"{'measure':34}" + "".join(f"{r['name']:>16}" for r in results) +
          "".join(f"{'ratio' + str(i):>8}" for i in range(1, len(results))))
    for k in keys:
        ratios = [r[k] / results[0][k] if results[0][k] else float("nan") for r in results[1:]]
        print(f"{k:34}" + "".join(f"{r[k]:16.3f}" for r in results) +
              "".join(f"{x:8.2f}" for x in ratios))


if __name__ == "__main__":
    sys.exit(main())
