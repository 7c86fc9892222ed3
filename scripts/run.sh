#!/usr/bin/env bash
# Builds rzset and starts it. Where no USB serial hardware is attached, the
# device simulator is started first and serves as the default device:
#   - a directly attached gateway on a pseudo-terminal, linked at
#     /tmp/rzsim/ttyRZ0 and offered first in both port lists
#     ("Virtual Serial Port (ttyRZ0)"), so "設定対象と接続" reaches it at once;
#   - a LAN gateway on 127.0.0.1:10003 (リモート設定 → LAN接続, address
#     127.0.0.1) with nodes 1 (TQ-130-RZ), 2 (VM-310-RZ), 3 (RG_U),
#     4 (TQ-110-RZ), 5 (TQ-120-RZ), 6 (TQ-140-RZ) and 7 (TQ-160-RZ).
# Without a display there is no window to show: the script then shows the
# same devices through the command-line client, rzctl, instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRZ_BUILD_TESTS=OFF >/dev/null

SIM_PID=""
SIM_OUT=""
cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  if [ -n "$SIM_OUT" ]; then rm -f "$SIM_OUT"; fi
}
trap cleanup EXIT

# Starts the simulator with the demonstration network; $1 is its TCP port
# (0: a free one). Sets SIM_TCP_PORT once it is ready.
start_simulator() {
  mkdir -p /tmp/rzsim
  rm -f /tmp/rzsim/ttyRZ0
  SIM_OUT=$(mktemp)
  "$BUILD_DIR/tools/rzsim/rzsim" --scenario tools/rzsim/scenarios/demo.sim \
      --tcp "127.0.0.1:$1" --pty-link /tmp/rzsim/ttyRZ0 >"$SIM_OUT" &
  SIM_PID=$!
  for _ in $(seq 1 50); do
    grep -qx ready "$SIM_OUT" && break
    kill -0 "$SIM_PID" 2>/dev/null || { echo "rzsim did not start" >&2; exit 1; }
    sleep 0.1
  done
  grep -qx ready "$SIM_OUT" || { echo "rzsim did not get ready" >&2; exit 1; }
  SIM_TCP_PORT=$(sed -n 's/^tcp //p' "$SIM_OUT")
}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: showing the devices through the command-line client instead of the window."
  cmake --build "$BUILD_DIR" -j "$(nproc)" --target rzctl rzsim
  start_simulator 0
  echo "rzsim: direct device on /tmp/rzsim/ttyRZ0, LAN gateway on 127.0.0.1:$SIM_TCP_PORT"
  rzctl() {
    echo
    echo "\$ rzctl $*"
    "$BUILD_DIR/tools/rzctl/rzctl" "$@"
  }
  rzctl --serial /tmp/rzsim/ttyRZ0 identify
  rzctl --tcp "127.0.0.1:$SIM_TCP_PORT" search --seconds 2
  rzctl --tcp "127.0.0.1:$SIM_TCP_PORT" --node 2 identify
  rzctl --serial /tmp/rzsim/ttyRZ0 read
  echo
  echo "On a machine with a display, scripts/run.sh opens the desktop tool, rzset, on the"
  echo "same simulated devices (or start it yourself: $BUILD_DIR/app/rzset)."
  exit 0
fi

cmake --build "$BUILD_DIR" -j "$(nproc)" --target rzset rzsim
if ! ls /dev/ttyUSB* /dev/ttyACM* >/dev/null 2>&1; then
  start_simulator 10003
  export RZSET_EXTRA_PORTS="/tmp/rzsim/ttyRZ0${RZSET_EXTRA_PORTS:+:$RZSET_EXTRA_PORTS}"
  echo "rzsim: direct device on /tmp/rzsim/ttyRZ0, LAN gateway on 127.0.0.1:10003"
fi
"$BUILD_DIR/app/rzset"
