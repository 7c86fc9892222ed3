#!/usr/bin/env bash
# Cross-builds the Windows programs with MinGW-w64 and tests them under wine.
#
#   scripts/windows.sh            rzctl.exe and the toolkit-free tests; also
#                                 rzset.exe and its installer when the Qt for
#                                 Windows cache exists (scripts/qt-mingw.sh)
#   scripts/windows.sh --with-qt  builds that cache first when it is missing
#                                 (about 35 minutes, once)
#
# Leaves in the build folder (WIN_BUILD_DIR, default build-win):
#   rzctl-VERSION-windows-x86_64.zip   rzctl.exe and a short usage text
#   rzset-VERSION-setup.exe            the installer (with the Qt cache)
#   rzset-VERSION-windows-x86_64.zip   the same files without installer
# wine runs in its own prefix under the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
REPO=$(pwd)

WITH_QT=0
for arg in "$@"; do
  case "$arg" in
    --with-qt) WITH_QT=1 ;;
    *) echo "usage: scripts/windows.sh [--with-qt]" >&2; exit 2 ;;
  esac
done

BUILD_DIR=${WIN_BUILD_DIR:-build-win}
mkdir -p "$BUILD_DIR"
BUILD_DIR=$(cd "$BUILD_DIR" && pwd)
TRIPLE=x86_64-w64-mingw32
VERSION=$(sed -nE 's/^project\(rzset VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)

step() { echo "== windows: $*"; }

step "tools"
# The Linux build's packages too: the cross build takes the host's code
# generators, nlohmann-json headers and GoogleTest sources.
bash scripts/deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
  mingw-w64-x86-64-dev wine wine64 zip python3

# ---------------------------------------------------------------- Qt cache
QT_PREFIX=""
if [ "$WITH_QT" = 1 ] && ! bash scripts/qt-mingw.sh --prefix >/dev/null; then
  step "building Qt for Windows (once)"
  bash scripts/qt-mingw.sh
fi
if prefix=$(bash scripts/qt-mingw.sh --prefix); then
  QT_PREFIX=$prefix
  bash scripts/deps.sh nsis
  step "Qt for Windows: $QT_PREFIX"
else
  step "no Qt for Windows cache ($prefix): rzset.exe is not built (scripts/windows.sh --with-qt builds it)"
fi

# ------------------------------------------------------------------ build
step "configure and build"
cmake_args=(
  -G Ninja
  -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-w64-x86_64.cmake"
  -DCMAKE_BUILD_TYPE=Release
  "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"  # as on Linux; GCC 12's -O3 warns falsely in std::string
  -DCMAKE_CROSSCOMPILING_EMULATOR=wine
)
if [ -n "$QT_PREFIX" ]; then
  cmake_args+=(
    -DRZ_BUILD_GUI=ON
    -DCMAKE_PREFIX_PATH="$QT_PREFIX"
    -DCMAKE_FIND_ROOT_PATH="$QT_PREFIX"
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  )
else
  cmake_args+=(-DRZ_BUILD_GUI=OFF)
fi
cmake -S . -B "$BUILD_DIR" "${cmake_args[@]}" >"$BUILD_DIR/configure.log" 2>&1 \
  || { cat "$BUILD_DIR/configure.log" >&2; exit 1; }
cmake --build "$BUILD_DIR" -j "$(nproc)"

# ------------------------------------------------------------ wine tests
export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer
unset DISPLAY WAYLAND_DISPLAY
# The server first, kept running for the whole run: every test program then
# starts in a few milliseconds instead of setting the prefix up again.
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# wineboot also starts the prefix's services. Started later by the first
# test instead, they would inherit ctest's output pipe and hold it open.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  step "wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
else
  wineboot >/dev/null 2>&1
fi

step "tests under wine"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" --timeout 120

# --------------------------------------------------------------- packages
step "packages"
STRIP=$TRIPLE-strip
pkg=$BUILD_DIR/package
rm -rf "$pkg"
mkdir -p "$pkg/rzctl"
cp "$BUILD_DIR/tools/rzctl/rzctl.exe" "$pkg/rzctl/"
$STRIP "$pkg/rzctl/rzctl.exe"
cp scripts/windows/rzctl.txt "$pkg/rzctl/"
ZIP=$BUILD_DIR/rzctl-$VERSION-windows-x86_64.zip
rm -f "$ZIP"
(cd "$pkg/rzctl" && zip -q -X "$ZIP" rzctl.exe && zip -q -X -l "$ZIP" rzctl.txt)
echo "$ZIP ($(du -h "$ZIP" | cut -f1))"

if [ -n "$QT_PREFIX" ]; then
  bash scripts/windows/deploy-rzset.sh "$BUILD_DIR" "$QT_PREFIX" "$VERSION"
fi
