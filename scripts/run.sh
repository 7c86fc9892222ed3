#!/usr/bin/env bash
# Builds rzset and starts it. Where no USB serial hardware is attached, the
# device simulator is started first and serves as the default device:
#   - a LAN gateway on 127.0.0.1:10003 (リモート設定 → LAN接続, address 127.0.0.1)
#     with nodes 1 (TQ-130-RZ), 2 (VM-310-RZ) and 3 (TQ-RZ900E),
#   - a directly attached gateway on a pseudo-terminal, listed in the direct
#     port list as its path (type it into the list when it is not shown).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRZ_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target rzset rzsim rzctl

SIM_PID=""
cleanup() { [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true; }
trap cleanup EXIT

if ! ls /dev/ttyUSB* /dev/ttyACM* >/dev/null 2>&1; then
  mkdir -p /tmp/rzsim
  "$BUILD_DIR/tools/rzsim/rzsim" --scenario tools/rzsim/scenarios/demo.sim \
      --tcp 127.0.0.1:10003 --pty-link /tmp/rzsim/ttyRZ0 &
  SIM_PID=$!
  for _ in $(seq 1 50); do [ -e /tmp/rzsim/ttyRZ0 ] && break; sleep 0.1; done
  echo "rzsim: LAN gateway on 127.0.0.1:10003, direct device on /tmp/rzsim/ttyRZ0"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running rzset under Xvfb (headless)."
  exec_cmd=(xvfb-run -a "$BUILD_DIR/app/rzset")
else
  exec_cmd=("$BUILD_DIR/app/rzset")
fi
"${exec_cmd[@]}"
