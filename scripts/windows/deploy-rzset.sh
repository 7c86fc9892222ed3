#!/usr/bin/env bash
# Collects rzset.exe with what it needs to run on Windows, strips it, and
# makes the installer and the zip. Called by scripts/windows.sh:
#   deploy-rzset.sh BUILD_DIR QT_PREFIX VERSION
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=$1
QT=$2
VERSION=$3
TRIPLE=x86_64-w64-mingw32
GCC_DLLS=$(dirname "$($TRIPLE-g++-posix -print-libgcc-file-name)")

out=$BUILD_DIR/package/rzset
rm -rf "$out"
mkdir -p "$out/platforms" "$out/styles" "$out/imageformats" "$out/licenses"
cp "$BUILD_DIR/app/rzset.exe" "$out/"
for m in Core Gui Widgets; do cp "$QT/bin/Qt6$m.dll" "$out/"; done
cp "$QT/plugins/platforms/qwindows.dll" "$out/platforms/"
cp "$QT/plugins/styles/qwindowsvistastyle.dll" "$out/styles/"
cp "$QT/plugins/imageformats/qico.dll" "$out/imageformats/"
# The MinGW runtime the Qt libraries were built against.
cp "$GCC_DLLS/libstdc++-6.dll" "$GCC_DLLS/libgcc_s_seh-1.dll" "/usr/$TRIPLE/lib/libwinpthread-1.dll" "$out/"
find "$out" -name '*.exe' -o -name '*.dll' | xargs "$TRIPLE-strip" --strip-unneeded
# The desktop tool's command-line companion.
cp "$BUILD_DIR/package/rzctl/rzctl.exe" "$BUILD_DIR/package/rzctl/rzctl.txt" "$out/"

# Licence notices: Qt under the LGPL, where its source and the patch come from.
dsc=$(ls "$QT"/*.dsc | head -n1)
qt_source=$(basename "$dsc" .dsc)
cp "$QT/qt-mingw.patch" "$out/licenses/qt-mingw.patch"
orig=$(ls "$(dirname "$QT")/qt-src/"*/*.orig.tar.* | head -n1)
tar -xJf "$orig" -O --wildcards '*/LICENSES/LGPL-3.0-only.txt' >"$out/licenses/LGPL-3.0.txt"
tar -xJf "$orig" -O --wildcards '*/LICENSES/GPL-3.0-only.txt' >"$out/licenses/GPL-3.0.txt"
sed -e "s/@VERSION@/$VERSION/g" -e "s/@QT_SOURCE@/$qt_source/g" \
    -e "s/@GCC@/$($TRIPLE-g++-posix -dumpfullversion)/g" scripts/windows/NOTICE.txt.in >"$out/NOTICE.txt"

# The uninstaller removes exactly the files installed.
list=$BUILD_DIR/package/files.nsh
(cd "$out" && find . -type f | sed 's|^\./||' | sort | while read -r f; do
   printf 'Delete "$INSTDIR\\%s"\n' "${f//\//\\}"; done
 cd "$out" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r | while read -r d; do
   printf 'RMDir "$INSTDIR\\%s"\n' "${d//\//\\}"; done) >"$list"

setup=$BUILD_DIR/rzset-$VERSION-setup.exe
makensis -V2 -DVERSION="$VERSION" -DSOURCE_DIR="$out" -DOUTFILE="$setup" -DFILE_LIST="$list" \
  scripts/windows/rzset.nsi
zipfile=$BUILD_DIR/rzset-$VERSION-windows-x86_64.zip
rm -f "$zipfile"
(cd "$BUILD_DIR/package" && zip -q -r -X "$zipfile" rzset)
echo "$setup ($(du -h "$setup" | cut -f1)), $zipfile ($(du -h "$zipfile" | cut -f1))"
