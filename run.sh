#!/usr/bin/env bash
# Sets up, builds and starts VaskorLinkPC.
set -euo pipefail
cd "$(dirname "$0")"
bash ./setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build build/release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so there is no desktop to show the window on."
  echo "Run it on a desktop session, or without a display:"
  echo "  QT_QPA_PLATFORM=offscreen build/release/bin/VaskorLinkPC"
  exit 1
fi
exec build/release/bin/VaskorLinkPC
