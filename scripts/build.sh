#!/usr/bin/env bash
# Installs what the preset needs, configures and builds it (default: "default", which has the
# tests and the benchmarks; "demo" has only the module, the host and the demo's two helpers).
# "windows" cross-builds Locanym.dll, locanym-host.exe and the Windows test programs into
# build/windows; with --dist it then puts the release files into dist/.
# Usage: scripts/build.sh [default|sanitize|tsan|fuzz|demo] [TARGET...]
#        scripts/build.sh windows [--dist]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-default}
shift || true
case "$preset" in
    default) "$top/scripts/setup.sh" --test --bench ;;
    sanitize | tsan) "$top/scripts/setup.sh" --test ;;
    fuzz) "$top/scripts/setup.sh" --fuzz ;;
    demo) "$top/scripts/setup.sh" --demo ;;
    windows) "$top/scripts/setup.sh" ;;
    *) echo "usage: $0 [default|sanitize|tsan|fuzz|demo|windows] [TARGET...]" >&2; exit 2 ;;
esac
cd "$top"
if [ "$preset" = windows ]; then
    "$top/scripts/setup-windows.sh"
fi
cmake --preset "$preset" >/dev/null
if [ "$preset" = windows ]; then
    cmake --build --preset "$preset" -j "$(nproc)"
    if [ "${1:-}" = "--dist" ]; then
        "$top/scripts/release-windows.sh"
    fi
    exit 0
fi
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build --preset "$preset" -j "$(nproc)" "${targets[@]+"${targets[@]}"}"
