#!/usr/bin/env bash
# Installs what the build needs, configures and builds one preset (default: "default").
# Usage: scripts/build.sh [default|sanitize|tsan|fuzz]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-default}
"$top/scripts/setup.sh"
cd "$top"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
