#!/usr/bin/env bash
# Smoke check of the Windows desktop tool under wine, after scripts/windows.sh
# has made the installer (it needs the Qt for Windows cache):
#  - Xvfb and a private wine prefix; the simulator runs natively, its gateway
#    on loopback TCP and on a pseudo-terminal mapped to COM5 in the prefix;
#  - installs rzset-VERSION-setup.exe silently and starts rzset.exe;
#  - checks with xdotool that the main window appears and, after a connection
#    to the gateway on COM5 (offered first in the port list), that its
#    settings window appears.
# The test programs run under wine in scripts/windows.sh itself.
# Screenshots of each step are left in BUILD_DIR/smoke/.
set -euo pipefail
cd "$(dirname "$0")/.."
REPO=$(pwd)
BUILD_DIR=$(cd "${WIN_BUILD_DIR:-build-win}" && pwd)
LINUX_BUILD=${BUILD_DIR_LINUX:-build}
VERSION=$(sed -nE 's/^project\(rzset VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
SETUP=$BUILD_DIR/rzset-$VERSION-setup.exe
[ -f "$SETUP" ] || { echo "windows-smoke: $SETUP is missing (scripts/windows.sh with the Qt cache makes it)" >&2; exit 1; }

missing=()
for p in xvfb xauth xdotool x11-apps wine wine64 fonts-ipafont-gothic; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
cmake --build "$LINUX_BUILD" --target rzsim >/dev/null

OUT=$BUILD_DIR/smoke
rm -rf "$OUT"
mkdir -p "$OUT"
export WINEPREFIX=$OUT/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
PIDS=()
cleanup() {
  wineserver -k 2>/dev/null || true
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

# A display of its own.
for n in $(seq 90 120); do [ -e /tmp/.X11-unix/X$n ] || break; done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
PIDS+=($!)
export DISPLAY=":$n"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done

# The simulator: the gateway on a pty (and the LAN gateway on a free port).
"$LINUX_BUILD/tools/rzsim/rzsim" --scenario tools/rzsim/scenarios/demo.sim --tcp 127.0.0.1:0 \
    --pty-link "$OUT/ttyRZ0" >"$OUT/rzsim.out" 2>&1 &
PIDS+=($!)
for _ in $(seq 50); do grep -q '^ready' "$OUT/rzsim.out" 2>/dev/null && break; sleep 0.1; done
TCP_PORT=$(sed -nE 's/^tcp ([0-9]+)$/\1/p' "$OUT/rzsim.out")
[ -n "$TCP_PORT" ] || { cat "$OUT/rzsim.out" >&2; exit 1; }

mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1
ln -sfn "$(readlink -f "$OUT/ttyRZ0")" "$WINEPREFIX/dosdevices/com5"

fail() { echo "windows-smoke: FAILED: $*" >&2; xwd -root -silent >"$OUT/failure.xwd" 2>/dev/null || true; exit 1; }
shot() { xwd -root -silent >"$OUT/$1.xwd" 2>/dev/null || true; }
# Waits for a window whose title matches; prints its id.
wait_window() {
  local id
  id=$(timeout "${2:-30}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n1) || true
  [ -n "$id" ] || fail "no window \"$1\""
  echo "$id"
}
# Clicks at a point given relative to a window's size (0..1).
click_in() {
  local id=$1 fx=$2 fy=$3 w h
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove --window "$id" "$(awk -v a="$WIDTH" -v f="$fx" 'BEGIN{print int(a*f)}')" \
    "$(awk -v a="$HEIGHT" -v f="$fy" 'BEGIN{print int(a*f)}')" click 1
}

echo "== smoke: silent install"
start=$(date +%s%N)
wine "$SETUP" /S
INSTALLED="$WINEPREFIX/drive_c/Program Files/rzset/rzset.exe"
[ -f "$INSTALLED" ] || fail "rzset.exe was not installed"
echo "installed in $(( ($(date +%s%N) - start) / 1000000 )) ms"

run_tool() {
  (cd "$(dirname "$INSTALLED")" && RZSET_EXTRA_PORTS=COM5 wine rzset.exe >"$OUT/rzset-$1.log" 2>&1) &
  TOOL=$!
}

echo "== smoke: main window, then the gateway on COM5"
start=$(date +%s%N)
run_tool com
main=$(wait_window "^KORVELT RZset$")
echo "main window after $(( ($(date +%s%N) - start) / 1000000 )) ms"
shot main
# "設定対象と接続" is the bottom-right button; COM5 is first in the list.
click_in "$main" 0.88 0.95
settings=$(wait_window "の設定$")
echo "settings window: $(xdotool getwindowname "$settings")"
shot settings-com
xdotool windowclose "$settings" 2>/dev/null || true
xdotool windowclose "$main" 2>/dev/null || true
wine taskkill /f /im rzset.exe >/dev/null 2>&1 || true
wait "$TOOL" 2>/dev/null || true

echo "== smoke: passed (screenshots in $OUT)"
