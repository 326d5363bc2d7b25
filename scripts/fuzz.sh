#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each one for a bounded time.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
"$top/scripts/build.sh" fuzz
cd "$top"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
found=0
for target in build-fuzz/tests/fuzz/*_fuzz; do
    [ -x "$target" ] || continue
    found=1
    name=$(basename "$target" _fuzz)
    corpus="$work/$name"
    mkdir -p "$corpus"
    if [ -d "tests/fuzz/corpus/$name" ]; then
        cp -r "tests/fuzz/corpus/$name/." "$corpus/"
    fi
    echo "== fuzzing $name for ${seconds}s"
    if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
            -print_final_stats=1 -artifact_prefix="$work/$name-" "$corpus" \
            >"$work/$name.log" 2>&1; then
        echo "fuzz target $name failed:" >&2
        tail -n 60 "$work/$name.log" >&2
        mkdir -p fuzz-artifacts
        cp "$work/$name-"* fuzz-artifacts/ 2>/dev/null || true
        status=1
    else
        grep -E 'stat::number_of_executed_units|Done ' "$work/$name.log" | tail -n 2
    fi
done
if [ $found -eq 0 ]; then
    echo "no fuzz targets were built" >&2
    exit 1
fi
exit $status
