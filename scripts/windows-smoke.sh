#!/usr/bin/env bash
# Smoke check of the Windows desktop tool under wine, after scripts/windows.sh
# has made the installer (it needs the Qt for Windows cache):
#  - Xvfb and a private wine prefix; the simulator runs natively, its gateway
#    on loopback TCP and on a pseudo-terminal mapped to COM5 in the prefix;
#  - installs rzset-VERSION-setup.exe silently (and at the end removes it
#    again with its uninstaller) and starts rzset.exe;
#  - checks with xdotool that the main window appears and, after a connection
#    to the gateway on COM5 (typed into the port list) and to node 1 behind
#    the LAN gateway, that the settings window appears each time.
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

bash scripts/deps.sh xdotool x11-apps netpbm wine wine64
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
for n in $(seq 90 120); do [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break; done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
PIDS+=($!)
export DISPLAY=":$n"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done

# The simulator: the LAN gateway on a free loopback port, the gateway on a pty.
"$LINUX_BUILD/tools/rzsim/rzsim" --scenario tools/rzsim/scenarios/demo.sim --tcp 127.0.0.1:0 \
    --pty-link "$OUT/ttyRZ0" --log "$OUT/frames.log" >"$OUT/rzsim.out" 2>&1 &
PIDS+=($!)
for _ in $(seq 50); do grep -q '^ready' "$OUT/rzsim.out" 2>/dev/null && break; sleep 0.1; done
TCP_PORT=$(sed -nE 's/^tcp ([0-9]+)$/\1/p' "$OUT/rzsim.out")
[ -n "$TCP_PORT" ] || { cat "$OUT/rzsim.out" >&2; exit 1; }

mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1
ln -sfn "$(readlink -f "$OUT/ttyRZ0")" "$WINEPREFIX/dosdevices/com5"

fail() {
  echo "windows-smoke: FAILED: $*" >&2
  sleep 1  # let a message box paint
  xwd -root -silent 2>/dev/null | xwdtopnm 2>/dev/null | pnmtopng >"$OUT/failure.png" || true
  exit 1
}
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

# The main window's controls, as fractions of its size (no window manager, so
# no frame): the direct port list, "リモート設定", the address, port and node
# fields, and "設定対象と接続".
DIRECT_PORT="0.52 0.24"; REMOTE="0.036 0.30"; ADDRESS="0.62 0.52"; PORT="0.62 0.59"
NODE="0.68 0.87"; CONNECT="0.88 0.94"

type_into() {  # window, field position, text
  click_in "$1" $2
  xdotool key ctrl+a
  xdotool type --delay 30 "$3"
}

echo "== smoke: main window"
start=$(date +%s%N)
(cd "$(dirname "$INSTALLED")" && wine rzset.exe >"$OUT/rzset.log" 2>&1) &
TOOL=$!
main=$(wait_window "^KORVELT RZset$")
echo "main window after $(( ($(date +%s%N) - start) / 1000000 )) ms"
sleep 1  # first paint, for the screenshot only
shot 1-main

echo "== smoke: the gateway on COM5 (typed: the port list is empty under wine)"
type_into "$main" "$DIRECT_PORT" COM5
click_in "$main" $CONNECT
settings=$(wait_window "の設定$")
echo "settings window: $(xdotool getwindowname "$settings")"
sleep 1
shot 2-settings-com
# Escape is "キャンセル": the window closes and the link with it.
xdotool key Escape
for _ in $(seq 100); do xdotool search --onlyvisible --name "の設定$" >/dev/null 2>&1 || break; sleep 0.1; done
xdotool search --onlyvisible --name "の設定$" >/dev/null 2>&1 && fail "the settings window did not close"

echo "== smoke: node 2 (a serial converter) behind the LAN gateway (127.0.0.1:$TCP_PORT)"
click_in "$main" $REMOTE
type_into "$main" "$ADDRESS" 127.0.0.1
type_into "$main" "$PORT" "$TCP_PORT"
type_into "$main" "$NODE" 2
shot 3-lan-form
click_in "$main" $CONNECT
settings=$(wait_window "の設定$")
title=$(xdotool getwindowname "$settings")
echo "settings window: $title"
[ "$title" = "VM-310-RZ ( node : 2 ) の設定" ] || fail "settings window of another device"
sleep 1
shot 4-settings-lan
# "OK" writes the settings back; "設定を変更しました。" follows (a message box
# with the program's title), and the window closes once it is acknowledged.
click_in "$settings" 0.63 0.95
for _ in $(seq 150); do
  xdotool search --onlyvisible --name "の設定$" >/dev/null 2>&1 || break
  if [ "$(xdotool search --onlyvisible --name "^KORVELT RZset$" 2>/dev/null | wc -l)" -gt 1 ]; then
    shot 5-written
    xdotool key Return
  fi
  sleep 0.1
done
xdotool search --onlyvisible --name "の設定$" >/dev/null 2>&1 && fail "the settings were not written"
grep -q "^02SP" "$OUT/frames.log" || fail "no settings write reached the simulator"
echo "settings written: $(grep '^02SP' "$OUT/frames.log")"
wine taskkill /im rzset.exe >/dev/null 2>&1 || true
wait "$TOOL" 2>/dev/null || true
echo "== smoke: silent uninstall"
MENU="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/rzset"
[ -f "$MENU/rzset.lnk" ] || fail "no Start-menu entry"
wine "C:\\Program Files\\rzset\\uninstall.exe" /S
# The uninstaller copies itself and returns at once; wait for the copy.
for _ in $(seq 100); do [ -e "$(dirname "$INSTALLED")" ] || break; sleep 0.1; done
[ ! -e "$(dirname "$INSTALLED")" ] && [ ! -e "$MENU" ] || fail "the uninstaller left files behind"

for f in "$OUT"/*.xwd; do xwdtopnm "$f" 2>/dev/null | pnmtopng >"${f%.xwd}.png" && rm -f "$f"; done
echo "== smoke: passed (screenshots in $OUT)"
