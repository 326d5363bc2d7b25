#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds, runs every test.
# Usage: scripts/test.sh [--sanitize]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
preset=default
if [ "${1:-}" = "--sanitize" ]; then
    preset=sanitize
fi
"$top/scripts/build.sh" "$preset"
cd "$top"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --preset "$preset" -j "$(nproc)"
