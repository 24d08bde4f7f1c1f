#!/usr/bin/env python3
"""Starts the user service's command line from an unpacked package, as
systemd would (its Environment= lines, its ExecStart= program moved into the
scratch root), against a device on 127.0.0.1, and checks that bytes flow both
ways through the port and that SIGTERM ends it with status 0.

With INSTANCE, the unit is a template started as unit@INSTANCE: "%i" in its
lines becomes the name, and the settings live in the instance's folder under
XDG_CONFIG_HOME, not beside the program.

Usage: unit_relays.py ROOT UNIT_FILE [INSTANCE]
"""
import os
import shlex
import socket
import subprocess
import sys
import tempfile
import time
import tty


def unit_settings(path, instance):
    exec_start, env = None, {}
    for line in open(path):
        line = line.strip().replace("%i", instance or "")
        if line.startswith("ExecStart="):
            exec_start = shlex.split(line[len("ExecStart="):])
        elif line.startswith("Environment="):
            for item in shlex.split(line[len("Environment="):]):
                key, _, value = item.partition("=")
                env[key] = value
    return exec_start, env


def main():
    root, unit = sys.argv[1], sys.argv[2]
    instance = sys.argv[3] if len(sys.argv) > 3 else None
    command, unit_env = unit_settings(unit, instance)
    if not command:
        print("FAIL: no ExecStart in the unit")
        return 1
    program = os.path.join(root, command[0].lstrip("/"))
    device = socket.socket()
    device.bind(("127.0.0.1", 0))
    device.listen(1)
    port = device.getsockname()[1]
    com = (instance or "COM4").upper()
    beside = os.path.join(os.path.dirname(program), "VaskorLinkPC.ini")
    beside_before = open(beside, "rb").read() if os.path.exists(beside) else None
    with tempfile.TemporaryDirectory() as runtime:
        os.chmod(runtime, 0o700)
        config = os.path.join(runtime, "config")
        # The unpacked bin/ folder is writable here, so without an instance
        # the INI file sits beside the program, as in a build tree.
        ini = beside
        if instance:
            ini = os.path.join(config, "VaskorLinkPC", instance, "VaskorLinkPC.ini")
            os.makedirs(os.path.dirname(ini))
        with open(ini, "wb") as f:
            f.write(b"[VASKORLINKPC]\r\nRemoteIP = 127.0.0.1\r\nTCPport = %d\r\n"
                    b"COMport = %s\r\nAutoStart = True\r\n" % (port, com.encode()))
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY",
                                                                 "QT_QPA_PLATFORM")}
        env.update(unit_env)
        env["XDG_RUNTIME_DIR"] = runtime
        env["XDG_CONFIG_HOME"] = config
        proc = subprocess.Popen([program] + command[1:], env=env, stderr=subprocess.PIPE)
        try:
            device.settimeout(20)
            conn, _ = device.accept()
            conn.settimeout(5)
            link = os.path.join(runtime, "vaskorlink", com)
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
            beside_after = open(beside, "rb").read() if os.path.exists(beside) else None
            if instance and beside_after != beside_before:
                print("FAIL: instance", instance, "wrote settings beside the program")
                return 1
            with open(ini, "rb") as f:
                if b"AutoStart    = True" not in f.read():
                    print("FAIL: the settings were not saved back to", ini)
                    return 1
            print("unit command line%s relayed bytes both ways and stopped cleanly"
                  % (" for instance " + instance if instance else ""))
            return 0
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()


if __name__ == "__main__":
    sys.exit(main())
