#!/usr/bin/env bash
# Installs what the preset needs, configures and builds it (default: "default", which has the
# tests and the benchmarks; "demo" has only the module, the host and the demo's two helpers).
# Usage: scripts/build.sh [default|sanitize|tsan|fuzz|demo] [TARGET...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-default}
shift || true
case "$preset" in
    default) "$top/scripts/setup.sh" --test --bench ;;
    sanitize | tsan) "$top/scripts/setup.sh" --test ;;
    fuzz) "$top/scripts/setup.sh" --fuzz ;;
    demo) "$top/scripts/setup.sh" --demo ;;
    *) echo "usage: $0 [default|sanitize|tsan|fuzz|demo] [TARGET...]" >&2; exit 2 ;;
esac
cd "$top"
cmake --preset "$preset" >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build --preset "$preset" -j "$(nproc)" "${targets[@]+"${targets[@]}"}"
