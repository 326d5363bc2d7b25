#!/usr/bin/env bash
# Builds the Debian package of the module and the reference host (CPack) in build-package/ and
# prints its path. Only the build's own packages are needed (plus dpkg-dev for the library
# dependencies); no test or benchmark is built.
# Usage: scripts/package.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-package"
"$top/scripts/setup.sh" --package >&2
echo "== Building the module and the host for the package (in $build)" >&2
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLOCANYM_TESTS=OFF -DLOCANYM_BENCH=OFF \
    >/dev/null
cmake --build "$build" -j "$(nproc)" >&2
(cd "$build" && cpack -G DEB >&2)
ls -t "$build"/locanym_*.deb | head -n 1
