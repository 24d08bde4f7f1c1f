#!/usr/bin/env python3
"""Starts the user service's command line from an unpacked package, as
systemd would (its Environment= lines, its ExecStart= program moved into the
scratch root), against a device on 127.0.0.1, and checks that bytes flow both
ways through the port and that SIGTERM ends it with status 0.

Usage: unit_relays.py ROOT UNIT_FILE
"""
import os
import shlex
import socket
import subprocess
import sys
import tempfile
import time
import tty


def unit_settings(path):
    exec_start, env = None, {}
    for line in open(path):
        line = line.strip()
        if line.startswith("ExecStart="):
            exec_start = shlex.split(line[len("ExecStart="):])
        elif line.startswith("Environment="):
            for item in shlex.split(line[len("Environment="):]):
                key, _, value = item.partition("=")
                env[key] = value
    return exec_start, env


def main():
    root, unit = sys.argv[1], sys.argv[2]
    command, unit_env = unit_settings(unit)
    if not command:
        print("FAIL: no ExecStart in the unit")
        return 1
    program = os.path.join(root, command[0].lstrip("/"))
    device = socket.socket()
    device.bind(("127.0.0.1", 0))
    device.listen(1)
    port = device.getsockname()[1]
    # The unpacked bin/ folder is writable here, so the INI file sits beside
    # the program, as in a build tree.
    with open(os.path.join(os.path.dirname(program), "VaskorLinkPC.ini"), "wb") as f:
        f.write(b"[VASKORLINKPC]\r\nRemoteIP = 127.0.0.1\r\nTCPport = %d\r\n"
                b"COMport = COM4\r\nAutoStart = True\r\n" % port)
    with tempfile.TemporaryDirectory() as runtime:
        os.chmod(runtime, 0o700)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY",
                                                                 "QT_QPA_PLATFORM")}
        env.update(unit_env)
        env["XDG_RUNTIME_DIR"] = runtime
        proc = subprocess.Popen([program] + command[1:], env=env, stderr=subprocess.PIPE)
        try:
            device.settimeout(20)
            conn, _ = device.accept()
            conn.settimeout(5)
            link = os.path.join(runtime, "vaskorlink", "COM4")
            deadline = time.time() + 10
            while not os.path.islink(link):
                if time.time() > deadline:
                    print("FAIL: the port did not appear at", link)
                    return 1
                time.sleep(0.02)
            client = os.open(link, os.O_RDWR | os.O_NOCTTY)
            tty.setraw(client)
            time.sleep(0.2)
            os.write(client, b"to device")
            got = b""
            while len(got) < 9:
                got += conn.recv(64)
            conn.sendall(b"to client")
            back = b""
            while len(back) < 9:
                back += os.read(client, 64)
            os.close(client)
            time.sleep(0.2)
            proc.terminate()
            status = proc.wait(timeout=10)
            if got != b"to device" or back != b"to client" or status != 0:
                print("FAIL: got", got, back, "status", status)
                return 1
            print("unit command line relayed bytes both ways and stopped cleanly")
            return 0
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()


if __name__ == "__main__":
    sys.exit(main())
