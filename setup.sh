#!/usr/bin/env bash
# Installs what building, running and testing VaskorLinkPC needs, from
# Debian 12's packages. Run as root (or with sudo available). Installs only
# what is missing, so a second run is quick.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev
  fonts-liberation fontconfig
  xvfb xauth x11-utils xdotool trayer openbox
  socat python3 picocom iproute2 python3-serial
  wine wine64 gcc-mingw-w64-x86-64-win32
  dpkg-dev desktop-file-utils appstream file man-db
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
