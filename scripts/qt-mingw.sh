#!/usr/bin/env bash
# Builds Qt for Windows (MinGW-w64, x86_64) once and caches it outside the
# repository, for the Windows build of rzset.exe (scripts/windows.sh).
#
# The source is Debian's own qt6-base of exactly the version installed as the
# host Qt (its moc, rcc and uic serve the cross build, so the two must match;
# a host update therefore means a new cache folder and a rebuild). It is
# fetched with apt through a private source list derived from the system's,
# without touching the system's apt configuration, and kept beside the cache
# because an old version may disappear from the archive.
#
# Usage: scripts/qt-mingw.sh            build unless the cache is complete
#        scripts/qt-mingw.sh --prefix   print the cache folder; exit status 0
#                                       when it holds a complete build
#        scripts/qt-mingw.sh --fetch    only fetch and unpack the source
# Environment: RZ_CACHE_DIR (default ${XDG_CACHE_HOME:-~/.cache}/rzset),
#              JOBS (default: number of processors), KEEP_QT_BUILD=1 keeps the
#              build tree after installing.
# It takes about 40 minutes on 2 cores (configure 30 s) and leaves 76 MB
# installed; an interrupted build resumes where it stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
REPO=$(pwd)

TRIPLE=x86_64-w64-mingw32
CC_WIN=$TRIPLE-gcc-posix
CXX_WIN=$TRIPLE-g++-posix
PATCH=$REPO/scripts/qt-mingw.patch
CACHE=${RZ_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/rzset}

die() { echo "qt-mingw: $*" >&2; exit 1; }

host_qt_version() {
  dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true
}

# The Linux build's packages (the host Qt among them) and the cross tools.
install_tools() {
  bash "$REPO/scripts/deps.sh" g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev dpkg-dev xz-utils perl
}

VERSION=$(host_qt_version)
[ -n "$VERSION" ] || [ "${1:-}" != "--prefix" ] || { echo "$CACHE/qt-mingw-none"; exit 1; }
if [ "${1:-}" != "--prefix" ]; then
  install_tools
  VERSION=$(host_qt_version)
fi
[ -n "$VERSION" ] || die "the host Qt (qt6-base-dev) is not installed"
UPSTREAM=${VERSION%%+*}          # 6.4.2 from 6.4.2+dfsg-10
UPSTREAM=${UPSTREAM%%-*}

# Everything that changes the result goes into the cache key.
FEATURES_OFF=(pkg_config network sql opengl dbus printsupport concurrent xml vulkan
              androiddeployqt zstd icu jpeg gif freetype fontconfig glib)
CMAKE_ARGS=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_QMAKE_TARGET_MKSPEC=win32-g++
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DFEATURE_testlib=ON
  -DFEATURE_direct2d=ON   # off, the Windows platform plugin does not link
)
for f in "${FEATURES_OFF[@]}"; do CMAKE_ARGS+=("-DFEATURE_$f=OFF"); done

compiler_id() {
  if command -v "$CXX_WIN" >/dev/null; then
    "$CXX_WIN" --version | head -n1
    dpkg-query -W -f='${Version}\n' g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev 2>/dev/null || true
  else
    echo "no-compiler"
  fi
}

KEY=$( { echo "$VERSION"; sha256sum <"$PATCH"; printf '%s\n' "${CMAKE_ARGS[@]}"; compiler_id; } \
       | sha256sum | cut -c1-12)
PREFIX=$CACHE/qt-mingw-$UPSTREAM-$KEY
STAMP=$PREFIX/.rzset-qt-complete

if [ "${1:-}" = "--prefix" ]; then
  echo "$PREFIX"
  [ -f "$STAMP" ]
  exit
fi

SRC_STORE=$CACHE/qt-src/$VERSION
fetch_source() {
  local dsc=$SRC_STORE/qt6-base_${VERSION#*:}.dsc
  if [ ! -f "$dsc" ]; then
    echo "qt-mingw: fetching Debian's qt6-base $VERSION source"
    local apt=$CACHE/qt-src/apt
    rm -rf "$apt"
    mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial" "$SRC_STORE.part"
    # The system's own archives, as source entries, in a private list.
    local f n=0
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$apt/sources.list.d/$n-$(basename "$f")"
      n=$((n + 1))
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      sed -nE 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >"$apt/sources.list.d/$n-$(basename "$f")"
      n=$((n + 1))
    done
    local opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/sources.list.d"
                -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
                -o APT::Sandbox::User=root)
    apt-get "${opts[@]}" update >"$apt/update.log" 2>&1 || { cat "$apt/update.log" >&2; die "apt-get update (private list) failed"; }
    (cd "$SRC_STORE.part" && apt-get "${opts[@]}" source --download-only "qt6-base=$VERSION") \
      || die "qt6-base $VERSION is no longer in the archive; put its .dsc and tarballs in $SRC_STORE"
    rm -rf "$SRC_STORE" && mv "$SRC_STORE.part" "$SRC_STORE"
    rm -rf "$apt"
  fi
  UNPACKED=$CACHE/qt-src/qtbase-$VERSION-$KEY
  if [ ! -f "$UNPACKED/.patched" ]; then
    rm -rf "$UNPACKED"
    dpkg-source --no-check -x "$dsc" "$UNPACKED" >/dev/null
    # dpkg-source leaves a copy of the upstream tarball beside the tree.
    rm -f "$CACHE/qt-src/"*.orig.tar.*
    (cd "$UNPACKED" && patch -p1 --forward <"$PATCH")
    touch "$UNPACKED/.patched"
  fi
}

fetch_source
[ "${1:-}" = "--fetch" ] && { echo "qt-mingw: source ready in $UNPACKED"; exit 0; }

if [ -f "$STAMP" ]; then
  echo "qt-mingw: Qt for Windows already built in $PREFIX"
  exit 0
fi

BUILD=$CACHE/qt-build-$KEY
mkdir -p "$BUILD"
cat >"$BUILD/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $CC_WIN)
set(CMAKE_CXX_COMPILER $CXX_WIN)
set(CMAKE_RC_COMPILER $TRIPLE-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$TRIPLE)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

start=$(date +%s)
echo "qt-mingw: configuring Qt $VERSION for Windows into $PREFIX"
cmake -S "$UNPACKED" -B "$BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$BUILD/toolchain.cmake" \
  -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  "${CMAKE_ARGS[@]}" >"$BUILD/configure.log" 2>&1 \
  || { tail -n 40 "$BUILD/configure.log" >&2; die "configure failed (log: $BUILD/configure.log)"; }
configured=$(date +%s)
echo "qt-mingw: configured in $((configured - start)) s; building (log: $BUILD/build.log)"
cmake --build "$BUILD" -j "${JOBS:-$(nproc)}" >"$BUILD/build.log" 2>&1 \
  || { tail -n 40 "$BUILD/build.log" >&2; die "build failed (log: $BUILD/build.log)"; }
rm -rf "$PREFIX"
cmake --install "$BUILD" >"$BUILD/install.log" 2>&1 \
  || { tail -n 20 "$BUILD/install.log" >&2; die "install failed"; }
cp "$PATCH" "$PREFIX/qt-mingw.patch"
cp "$SRC_STORE"/*.dsc "$PREFIX/"
{
  echo "source: Debian qt6-base $VERSION ($(basename "$SRC_STORE"/*.dsc))"
  echo "compiler: $(compiler_id | head -n1)"
  echo "configure:"; printf '  %s\n' "${CMAKE_ARGS[@]}"
  echo "built: $(date -u +%Y-%m-%dT%H:%MZ) in $(( $(date +%s) - start )) s"
} >"$STAMP"
[ "${KEEP_QT_BUILD:-0}" = 1 ] || rm -rf "$BUILD" "$UNPACKED"
echo "qt-mingw: done in $(( $(date +%s) - start )) s: $PREFIX ($(du -sh "$PREFIX" | cut -f1))"
