#!/usr/bin/env python3
"""Soak run: the real program relays a long checked stream both ways at once.

A device on 127.0.0.1 and a raw client on the program's port each send the
other a deterministic pseudo-random stream (1 GiB by default) while reading
and checking, as the bytes arrive, the one coming their way. Neither stream
is ever held in memory. Every so often each reader stops for a moment, so
that flow control is exercised throughout. The run reports the throughput,
the program's CPU time and memory, and the bytes lost; it fails (exit 1) on
any lost, wrong or extra byte.

Usage: bench/soak.py --exe build/release/bin/VaskorLinkPC [--mib 1024]
"""
import argparse
import os
import select
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import random
import tty

BLOCK = 1 << 16
from procstats import proc_cpu_seconds, proc_status_kib


class Stream:
    """Block n is its seed and number, then the seed's random bytes: every
    block differs from every other, and any shift within one shows."""

    def __init__(self, seed):
        self.seed = seed
        self.tail = random.Random(seed).randbytes(BLOCK - 16)

    def block(self, n):
        return struct.pack(">QQ", self.seed, n) + self.tail


class Checker:
    def __init__(self, stream):
        self.stream = stream
        self.position = 0
        self.mismatch = None
        self._block_number = -1
        self._block = b""

    def feed(self, data):
        view = memoryview(data)
        while view and self.mismatch is None:
            n, offset = divmod(self.position, BLOCK)
            if n != self._block_number:
                self._block_number, self._block = n, self.stream.block(n)
            take = min(len(view), BLOCK - offset)
            if view[:take] != self._block[offset:offset + take]:
                expected = self._block[offset:offset + take]
                first = next(i for i in range(take) if view[i] != expected[i])
                self.mismatch = self.position + first
            self.position += take
            view = view[take:]


def wait_writable(fd, deadline):
    while time.monotonic() < deadline:
        if select.select([], [fd], [], 0.5)[1]:
            return True
    return False


def writer(name, write, fileno, stream, total, deadline, result):
    sent = 0
    n = 0
    try:
        while sent < total:
            chunk = memoryview(stream.block(n))[: min(BLOCK, total - sent)]
            while chunk:
                if not wait_writable(fileno, deadline):
                    raise TimeoutError("held back until the deadline")
                try:
                    done = write(chunk)
                except BlockingIOError:
                    continue
                chunk = chunk[done:]
                sent += done
            n += 1
    except Exception as error:  # reported, not raised: the run must finish
        result[name + "_error"] = repr(error)
    result[name + "_sent"] = sent


def reader(name, read, fileno, checker, total, deadline, stall_every, stall_s, result):
    next_stall = stall_every
    try:
        while checker.position < total and checker.mismatch is None:
            if stall_every and checker.position >= next_stall:
                time.sleep(stall_s)
                next_stall += stall_every
            if not select.select([fileno], [], [], 0.5)[0]:
                if time.monotonic() > deadline:
                    raise TimeoutError("nothing more arrived before the deadline")
                continue
            try:
                data = read(min(1 << 20, total - checker.position))
            except BlockingIOError:
                continue
            if not data:
                raise EOFError("closed")
            checker.feed(data)
    except Exception as error:
        result[name + "_error"] = repr(error)
    # Anything beyond the stream is wrong too.
    if checker.mismatch is None and checker.position >= total:
        if select.select([fileno], [], [], 0.5)[0]:
            try:
                extra = read(1 << 16)
            except BlockingIOError:
                extra = b""
            if extra:
                result[name + "_extra"] = len(extra)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--mib", type=int, default=1024, help="MiB each way")
    ap.add_argument("--stall-every-mib", type=int, default=256,
                    help="each reader pauses after this many MiB (0: never)")
    ap.add_argument("--stall-seconds", type=float, default=0.5)
    ap.add_argument("--timeout", type=float, default=1800, help="seconds for the whole run")
    args = ap.parse_args()
    total = args.mib << 20

    with tempfile.TemporaryDirectory() as work:
        device = socket.socket()
        device.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        device.bind(("127.0.0.1", 0))
        device.listen(1)
        folder = os.path.join(work, "prog")
        portdir = os.path.join(work, "ports")
        os.makedirs(folder)
        os.makedirs(portdir, mode=0o700)
        exe = os.path.join(folder, "VaskorLinkPC")
        shutil.copy2(args.exe, exe)
        # Tests talk only to 127.0.0.1.
        with open(os.path.join(folder, "VaskorLinkPC.ini"), "wb") as f:
            f.write(b"[VASKORLINKPC]\r\nRemoteIP = 127.0.0.1\r\nTCPport = %d\r\n"
                    b"COMport = COM4\r\nAutoStart = True\r\n" % device.getsockname()[1])
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", VASKORLINK_PORT_DIR=portdir,
                   XDG_RUNTIME_DIR=portdir)
        # The program's own messages are shown only when the run fails.
        log = open(os.path.join(work, "stderr.txt"), "w+b")
        proc = subprocess.Popen([exe], env=env, cwd=folder, stderr=log)
        client = None
        try:
            device.settimeout(30)
            conn, _ = device.accept()
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            conn.settimeout(None)
            port = os.path.join(portdir, "COM4")
            deadline = time.monotonic() + 30
            while not os.path.islink(port):
                if time.monotonic() > deadline:
                    raise RuntimeError("the port did not appear")
                time.sleep(0.01)
            client = os.open(port, os.O_RDWR | os.O_NOCTTY)
            tty.setraw(client)
            # The program has noticed the client once its first byte is through.
            os.write(client, b"\x5a")
            conn.settimeout(10)
            if conn.recv(1) != b"\x5a":
                raise RuntimeError("the client's first byte did not arrive")
            # Non-blocking, so that a side held back forever still ends the
            # run at the deadline instead of hanging it.
            conn.setblocking(False)
            os.set_blocking(client, False)

            rss0 = proc_status_kib(proc.pid, "VmRSS")
            cpu0 = proc_cpu_seconds(proc.pid)
            up, down = Stream(1), Stream(2)
            at_device, at_client = Checker(up), Checker(down)
            result = {}
            deadline = time.monotonic() + args.timeout
            stall = args.stall_every_mib << 20
            threads = [
                threading.Thread(target=writer, args=(
                    "client_write", lambda b: os.write(client, b), client, up, total, deadline, result)),
                threading.Thread(target=writer, args=(
                    "device_write", conn.send, conn.fileno(), down, total, deadline, result)),
                threading.Thread(target=reader, args=(
                    "device_read", conn.recv, conn.fileno(), at_device, total, deadline, stall,
                    args.stall_seconds, result)),
                threading.Thread(target=reader, args=(
                    "client_read", lambda n: os.read(client, n), client, at_client, total, deadline,
                    stall, args.stall_seconds, result)),
            ]
            peak = rss0
            start = time.perf_counter()
            for t in threads:
                t.start()
            while any(t.is_alive() for t in threads):
                peak = max(peak, proc_status_kib(proc.pid, "VmRSS"))
                time.sleep(0.2)
            seconds = time.perf_counter() - start
            cpu = proc_cpu_seconds(proc.pid) - cpu0
            alive = proc.poll() is None
        finally:
            if client is not None:
                os.close(client)
            proc.terminate()
            try:
                proc.wait(20)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
            device.close()
            log.seek(0)
            program_log = log.read().decode(errors="replace")
            log.close()

    lost_up = total - at_device.position
    lost_down = total - at_client.position
    pauses = (f"readers pausing {args.stall_seconds} s every {args.stall_every_mib} MiB"
              if args.stall_every_mib else "readers never pausing")
    print(f"stream            {args.mib} MiB each way, {pauses}")
    print(f"time              {seconds:.1f} s")
    print(f"throughput        client->device {at_device.position / seconds / 1e6:.1f} MB/s, "
          f"device->client {at_client.position / seconds / 1e6:.1f} MB/s "
          f"(pauses included)")
    print(f"program CPU       {cpu:.1f} s ({cpu / (2 * total / 1e6) * 1000:.3f} ms per MB)")
    print(f"program memory    {rss0 / 1024:.1f} MiB idle, {peak / 1024:.1f} MiB peak resident")
    print(f"bytes lost        client->device {lost_up}, device->client {lost_down}")
    print(f"first wrong byte  client->device {at_device.mismatch}, device->client {at_client.mismatch}")
    for key, value in sorted(result.items()):
        if key.endswith(("_error", "_extra")):
            print(f"{key:17} {value}")
    ok = (alive and lost_up == 0 and lost_down == 0 and at_device.mismatch is None
          and at_client.mismatch is None and not any(k.endswith(("_error", "_extra")) for k in result))
    if not ok:
        print("program's standard error:\n" + program_log[-4000:])
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
