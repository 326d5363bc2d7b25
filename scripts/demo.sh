#!/usr/bin/env bash
# The main job, offline: builds the plug-in and the reference host, makes a handful of sample
# photos at real places, and captions them through the host. The services' answers come from
# a replay server on 127.0.0.1 that serves recorded, real-shaped answers, so nothing here
# needs the internet. The second pass is answered from the plug-in's cache.
#
# Usage: scripts/demo.sh [WORK_DIR]     (default: a new temporary folder, kept for a look)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-demo"
echo "== Building the plug-in, the reference host, the sample maker and the replay server"
echo "   (only what the demo runs; the first build takes a minute or two, then seconds)"
# The build's progress lines show that it moves; its full output is kept for a failure.
mkdir -p "$build"
if ! "$top/scripts/build.sh" demo Locanym locanym-host locanym-make-samples \
        locanym-replay-server 2>&1 | tee "$build/demo-build.log" | grep --line-buffered -E '^\[ *[0-9]+%\]' \
        | sed -u 's/^/   /'; then
    echo "the build failed; see $build/demo-build.log" >&2
    exit 1
fi
if [ "${PIPESTATUS[0]}" -ne 0 ] || [ ! -x "$build/locanym-host" ]; then
    echo "the build failed; see $build/demo-build.log" >&2
    exit 1
fi
echo

work=${1:-$(mktemp -d "${TMPDIR:-/tmp}/locanym-demo-XXXXXX")}
mkdir -p "$work"
photos="$work/photos"
data="$work/data"
log="$work/plugin.log"
rm -rf "$data" "$log"

"$build/locanym-make-samples" "$photos"

# The replay server prints its base URL, then serves until it is stopped.
"$build/locanym-replay-server" >"$work/replay-url" 2>"$work/replay.log" &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
    [ -s "$work/replay-url" ] && break
    sleep 0.05
done
if [ ! -s "$work/replay-url" ]; then
    echo "the replay server did not start; see $work/replay.log" >&2
    exit 1
fi
export LOCANYM_SERVICE_URL
LOCANYM_SERVICE_URL=$(head -n 1 "$work/replay-url")

host=("$build/locanym-host" --data "$data" --log "$log")
"${host[@]}" set Enabled 1
"${host[@]}" set iProv 2          # GeoNames
"${host[@]}" set Format "%A"

echo "== Captions of the folder (service answers replayed from $LOCANYM_SERVICE_URL)"
"${host[@]}" caption "$photos" || true
echo
echo "== The same photos again, as JSON: answered from the cache, no request made"
"${host[@]}" --json caption "$photos" || true
echo
echo "== set Format \"%C (%D)\" empties the cache; the next run shows the new captions"
"${host[@]}" set Format "%C (%D)"
"${host[@]}" caption "$photos" || true
echo
echo "== Plug-in log: $log"
grep -E 'gps location|Missing gps|Found in Cache|Cached|FindLocation|LoadCache' "$log" || true
echo
echo "Photos: $photos"
echo "Host data folder (settings.json, cache file): $data"
