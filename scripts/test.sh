#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds, runs every test.
# Usage: scripts/test.sh [--sanitize | --tsan | --windows]
#   --tsan     builds only the test programs with threads and runs their threaded tests (the
#              filter of the "tsan" test preset) under ThreadSanitizer.
#   --windows  cross-builds the Windows module and runs its tests under Wine (test-windows.sh)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
preset=default
case "${1:-}" in
    --sanitize) preset=sanitize ;;
    --tsan) preset=tsan ;;
    --windows) exec "$top/scripts/test-windows.sh" ;;
esac
"$top/scripts/build.sh" "$preset"
cd "$top"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
ctest --preset "$preset" -j "$(nproc)"
