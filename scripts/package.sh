#!/usr/bin/env bash
# Builds the Debian package of rzset, rzctl and rzsim and checks it: lintian,
# desktop-file-validate, and an install/remove round trip with dpkg into a
# scratch root inside the build folder (nothing is installed on this machine).
# Usage: scripts/package.sh   (BUILD_DIR overrides build/; an existing build
# is reused, a new one is made without the tests)
# Leaves BUILD_DIR/rzset_VERSION_ARCH.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
# CPack finds the libraries the programs need with dpkg-shlibdeps and file.
bash scripts/deps.sh dpkg-dev file help2man lintian desktop-file-utils
BUILD_DIR=${BUILD_DIR:-build}

# Dates in the package (changelog, manual pages) are the last commit's.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH

extra=()
[ -f "$BUILD_DIR/CMakeCache.txt" ] || extra=(-DRZ_BUILD_TESTS=OFF)
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
rm -f "$BUILD_DIR"/rzset_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
deb=$(ls "$BUILD_DIR"/rzset_*.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "package: $deb"

fail() { echo "package check failed: $*" >&2; exit 1; }

# What the package must hold.
listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in usr/bin/rzset usr/bin/rzctl usr/bin/rzsim \
    usr/share/applications/rzset.desktop \
    usr/share/icons/hicolor/scalable/apps/rzset.svg usr/share/icons/hicolor/256x256/apps/rzset.png \
    usr/share/man/man1/rzset.1.gz usr/share/man/man1/rzctl.1.gz usr/share/man/man1/rzsim.1.gz \
    usr/share/rzset/demo.sim usr/share/doc/rzset/copyright usr/share/doc/rzset/changelog.gz; do
  grep -qx "\./$path" <<<"$listing" || fail "$path missing"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libssl3 libudev1 qt6-qpa-plugins; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# Debian's checks: no error, no warning.
lint_status=0
lint=$(lintian --fail-on error,warning "$deb" 2>&1) || lint_status=$?
grep -v 'running with root privileges' <<<"$lint" || true
[ "$lint_status" -eq 0 ] || fail "lintian"
echo "lintian: no error, no warning"
scratch="$BUILD_DIR/package-check"
rm -rf "$scratch"
mkdir -p "$scratch/extract"
dpkg-deb -x "$deb" "$scratch/extract"
desktop-file-validate "$scratch/extract/usr/share/applications/rzset.desktop" || fail "desktop-file-validate"
echo "desktop-file-validate: no error"

# Install and remove with dpkg into a scratch root. Its package database is
# a copy of this machine's, so dpkg checks the declared dependencies against
# the packages installed here; the programs run with this machine's libraries.
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(--force-not-root)
dpkg_in_root() {
  local status=0 out
  # The copied database has no file lists of this machine's packages.
  out=$(dpkg --root="$root" --log=/dev/null "${as_root[@]}" "$@" 2>&1) || status=$?
  grep -v "files list file for package .* missing" <<<"$out" || true
  return "$status"
}
dpkg_in_root -i "$deb" || fail "dpkg -i"
[ "$(dpkg_in_root -s rzset | sed -n 's/^Status: //p')" = "install ok installed" ] || fail "not installed"
for prog in rzset rzctl rzsim; do
  out=$("$root/usr/bin/$prog" --version)
  [ "$out" = "$prog $version" ] || fail "$prog --version says '$out', not '$prog $version'"
  echo "installed $out"
done
dpkg_in_root --purge rzset || fail "dpkg --purge"
dpkg_in_root -s rzset >/dev/null 2>&1 && fail "still known to dpkg after the removal"
left=$(find "$root" -path "$root/var" -prune -o ! -type d -print)
[ -z "$left" ] || fail "files left after the removal: $left"
echo "dpkg: installed and removed cleanly"
echo "package built and checked in $((SECONDS - start)) s"
