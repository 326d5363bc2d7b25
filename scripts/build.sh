#!/usr/bin/env bash
# Installs what the build needs, configures and builds one preset (default: "default").
# "windows" cross-builds Locanym.dll, locanym-host.exe and the Windows test programs into
# build/windows; with --dist it then puts the release files into dist/.
# Usage: scripts/build.sh [default|sanitize|fuzz|windows [--dist]]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-default}
"$top/scripts/setup.sh"
cd "$top"
if [ "$preset" = windows ]; then
    "$top/scripts/setup-windows.sh"
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
if [ "$preset" = windows ] && [ "${2:-}" = "--dist" ]; then
    "$top/scripts/release-windows.sh"
fi
