#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds, runs every test.
# Usage: scripts/test.sh [--sanitize | --windows]
#   --windows  cross-builds the Windows module and runs its tests under Wine (test-windows.sh)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
preset=default
if [ "${1:-}" = "--sanitize" ]; then
    preset=sanitize
elif [ "${1:-}" = "--windows" ]; then
    exec "$top/scripts/test-windows.sh"
fi
"$top/scripts/build.sh" "$preset"
cd "$top"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --preset "$preset" -j "$(nproc)"
