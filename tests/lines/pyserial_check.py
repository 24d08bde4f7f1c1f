"""pyserial on a virtual port, as serial programs written in Python use it:
opened with DSR/DTR and with RTS/CTS flow control, the modem lines read,
and every byte value out to an echoing device and back.

Usage: pyserial_check.py PORT_PATH (run through vaskorlink-run)."""
import sys

import serial


def check(path, **flow):
    name = ", ".join(f"{key}=True" for key in flow)
    with serial.Serial(path, 115200, timeout=5, **flow) as port:
        lines = {"CTS": port.cts, "DSR": port.dsr, "CD": port.cd, "RI": port.ri}
        if lines != {"CTS": True, "DSR": True, "CD": True, "RI": False}:
            return f"{name}: lines {lines}"
        port.dtr = False
        port.rts = False
        port.dtr = True
        port.rts = True
        sent = bytes(range(256))
        port.write(sent)
        got = port.read(len(sent))
        if got != sent:
            return f"{name}: sent 256 bytes, got back {len(got)}: {got[:16].hex()}..."
    return None


def main():
    path = sys.argv[1]
    failures = [f for f in (check(path, dsrdtr=True), check(path, rtscts=True)) if f]
    for failure in failures:
        print("FAIL: pyserial " + failure)
    if not failures:
        print("pyserial: dsrdtr and rtscts opened, lines up, 256 byte values round-tripped")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
