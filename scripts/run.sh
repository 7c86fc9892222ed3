#!/usr/bin/env bash
# Builds rzset and starts it. Where no USB serial hardware is attached, the
# device simulator is started first and serves as the default device:
#   - a directly attached gateway on a pseudo-terminal, linked at
#     /tmp/rzsim/ttyRZ0 and offered first in both port lists
#     ("Virtual Serial Port (ttyRZ0)"), so "設定対象と接続" reaches it at once;
#   - a LAN gateway on 127.0.0.1:10003 (リモート設定 → LAN接続, address
#     127.0.0.1) with nodes 1 (TQ-130-RZ), 2 (VM-310-RZ), 3 (RG_U),
#     4 (TQ-110-RZ), 5 (TQ-120-RZ), 6 (TQ-140-RZ) and 7 (TQ-160-RZ).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRZ_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target rzset rzsim

SIM_PID=""
cleanup() { if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; fi; }
trap cleanup EXIT

if ! ls /dev/ttyUSB* /dev/ttyACM* >/dev/null 2>&1; then
  mkdir -p /tmp/rzsim
  rm -f /tmp/rzsim/ttyRZ0
  "$BUILD_DIR/tools/rzsim/rzsim" --scenario tools/rzsim/scenarios/demo.sim \
      --tcp 127.0.0.1:10003 --pty-link /tmp/rzsim/ttyRZ0 &
  SIM_PID=$!
  for _ in $(seq 1 50); do [ -e /tmp/rzsim/ttyRZ0 ] && break; sleep 0.1; done
  export RZSET_EXTRA_PORTS="/tmp/rzsim/ttyRZ0${RZSET_EXTRA_PORTS:+:$RZSET_EXTRA_PORTS}"
  echo "rzsim: direct device on /tmp/rzsim/ttyRZ0, LAN gateway on 127.0.0.1:10003"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running rzset under Xvfb (headless)."
  exec_cmd=(xvfb-run -a "$BUILD_DIR/app/rzset")
else
  exec_cmd=("$BUILD_DIR/app/rzset")
fi
"${exec_cmd[@]}"
