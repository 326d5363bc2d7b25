#!/usr/bin/env bash
# Puts what Windows users install into dist/: Locanym.dll (stripped), the offline place data
# Locanym-places.dat when the native build made it (the file is the same on every platform),
# Locanym.chm (the build compiles it from docs/Locanym.html with chmcmd), and a short install
# note. Expects scripts/build.sh windows to have run (build.sh windows --dist runs it).
# Usage: scripts/release-windows.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
win="$top/build/windows"
dist="$top/dist"
version=$(sed -n 's/^project(Locanym VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")

[ -f "$win/Locanym.dll" ] || { echo "release-windows: build first: scripts/build.sh windows" >&2; exit 1; }
rm -rf "$dist"
mkdir -p "$dist"
x86_64-w64-mingw32-strip -o "$dist/Locanym.dll" "$win/Locanym.dll"

files="Locanym.dll"
if [ -f "$top/build/Locanym-places.dat" ]; then
    cp "$top/build/Locanym-places.dat" "$dist/"
    files="$files, Locanym-places.dat"
fi

if [ -f "$win/Locanym.chm" ]; then
    cp "$win/Locanym.chm" "$dist/"
    files="$files, Locanym.chm"
fi

cat >"$dist/INSTALL.txt" <<NOTE
Locanym $version for Windows (64-bit)

Files: $files.

1. Close the slide-show program.
2. Copy the files above into the slide-show program's plug-in folder, side by side.
3. Start the slide-show program and enable Locanym in its plug-in list.

Its settings dialog opens from the slide-show program's plug-in list; the Help button there
shows Locanym.chm.

To remove Locanym, delete the files again. Its location cache is a file of its own: deleting
it only makes the plug-in ask the services again.
NOTE
(cd "$dist" && sha256sum -- * >SHA256SUMS)
echo "release-windows: $(cd "$dist" && ls | tr '\n' ' ')in $dist"
