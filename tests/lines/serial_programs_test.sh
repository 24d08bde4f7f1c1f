#!/usr/bin/env bash
# Real serial programs on the program's port through vaskorlink-run: pyserial
# with DSR/DTR and RTS/CTS flow control, or a Windows program under Wine
# (cross-compiled here with MinGW). The program runs offscreen against the
# device simulator echoing on 127.0.0.1.
#
# Usage: serial_programs_test.sh BUILD_DIR pyserial|wine
set -uo pipefail

build=$(cd "${1:?usage: serial_programs_test.sh BUILD_DIR pyserial|wine}" && pwd)
mode=${2:?which programs: pyserial or wine}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
# Ends a process we started: asked first, forced after 10 s.
stop() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 100); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
cleanup() {
  # The program before its device, so it is not reconnecting meanwhile.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  if [ "$mode" = wine ]; then WINEPREFIX="$work/wine" wineserver -k 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  echo "--- program's standard error:"; cat "$work/program.err" 2>/dev/null
  exit 1
}

# Waits up to $2 seconds for the command in $1 to succeed.
wait_for() {
  local deadline=$((SECONDS + $2))
  until eval "$1"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

# --- The device: the simulator echoing on a free port ---
"$build/bin/vaskor-device-sim" --port 0 --echo >"$work/sim.out" 2>&1 &
pids+=($!)
wait_for "grep -q 'listening on' '$work/sim.out'" 10 || fail "the simulator did not start"
device_port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.out" | head -1)

# --- The program, with its own folders ---
mkdir -m 700 "$work/ports" "$work/runtime"
mkdir "$work/program"
cp "$build/bin/VaskorLinkPC" "$work/program/"
printf '[VASKORLINKPC]\r\nRemoteIP = 127.0.0.1\r\nTCPport = %s\r\nCOMport = COM4\r\nAutoStart = True\r\n' \
  "$device_port" >"$work/program/VaskorLinkPC.ini"
export VASKORLINK_PORT_DIR="$work/ports" XDG_RUNTIME_DIR="$work/runtime"
(cd "$work/program" && QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/runtime/config" \
  exec ./VaskorLinkPC 2>"$work/program.err") &
pids+=($!)
port="$work/ports/COM4"
wait_for "[ -L '$port' ]" 20 || fail "no port $port"

run=("$build/bin/vaskorlink-run")

case "$mode" in
  pyserial)
    # Debian's python3-serial is for Debian's interpreter, whatever else
    # comes first on PATH.
    python=/usr/bin/python3
    [ -x "$python" ] || python=python3
    "$python" -c 'import serial' 2>/dev/null || fail "python3-serial is not installed"
    "${run[@]}" "$python" "$here/pyserial_check.py" "$port" || fail "pyserial through vaskorlink-run"
    ;;
  wine)
    command -v wine >/dev/null || fail "wine is not installed"
    x86_64-w64-mingw32-gcc -O2 -Wall -o "$work/comm_check.exe" "$here/wine_comm_check.c" ||
      fail "MinGW could not build the Windows program"
    export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    started=$SECONDS
    wineboot -i >/dev/null 2>&1 || fail "wineboot could not make a prefix"
    echo "wine prefix made in $((SECONDS - started)) s"
    ln -sfn "$port" "$WINEPREFIX/dosdevices/com4"
    # Without the library: today's refusal, so the check below is not
    # passing for some other reason.
    without=$(wine "$work/comm_check.exe" COM4 status 2>/dev/null | tr -d '\r')
    [ "$without" = "GetCommModemStatus failed, error 50" ] ||
      fail "without vaskorlink-run, expected error 50, got: $without"
    result=$("${run[@]}" wine "$work/comm_check.exe" COM4 2>/dev/null | tr -d '\r')
    echo "$result"
    case "$result" in wine:*) ;; *) fail "the Windows program under Wine" ;; esac
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS: $mode"
