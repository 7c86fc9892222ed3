#!/usr/bin/env bash
# Installs what building, running and testing rzset needs on Debian 12.
# Safe to run repeatedly: it only installs what is missing.
set -euo pipefail

PKGS=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libssl-dev libudev-dev
  nlohmann-json3-dev
  libgtest-dev googletest
  fonts-ipafont-gothic
  xvfb xauth
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
