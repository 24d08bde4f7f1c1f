#!/usr/bin/env bash
# Sets up, builds and starts VaskorLinkPC.
set -euo pipefail
cd "$(dirname "$0")"
bash ./setup.sh
# Compiler cache hits across clones in other folders.
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build build/release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so no window can be shown."
  echo "Starting unattended (offscreen): messages go to standard error, Ctrl-C ends it."
  echo "Run it from a desktop session to see its window and tray icon."
fi
exec build/release/bin/VaskorLinkPC
