#!/usr/bin/env bash
# The main job, offline: builds the plug-in and the reference host, makes a handful of sample
# photos at real places, and captions them through the host. First the built-in offline place
# finder captions them from the place data file beside the module (no key, no server), in
# English and then with French country names. Then the services' answers come from a replay
# server on 127.0.0.1 that serves recorded, real-shaped answers of all six services, so nothing
# here needs the internet. The second pass is answered from the plug-in's cache.
#
# Usage: scripts/demo.sh [WORK_DIR]     (default: a new temporary folder, kept for a look)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-demo"
echo "== Building the plug-in, the reference host, the place data, the sample maker and the replay server"
echo "   (only what the demo runs; the first build takes a minute or two, then seconds)"
# The build's progress lines show that it moves; its full output is kept for a failure.
mkdir -p "$build"
if ! "$top/scripts/build.sh" demo Locanym locanym-host locanym-make-samples \
        locanym-replay-server places_data 2>&1 | tee "$build/demo-build.log" | grep --line-buffered -E '^\[ *[0-9]+%\]' \
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

host=("$build/locanym-host" --data "$data" --log "$log")
"${host[@]}" set Enabled 1

# Each offline pass names a show of its own, so that its captions are cached apart.
echo "== Offline captions (iProv 6: the built-in place data; no key, no server, nothing sent)"
"${host[@]}" set iProv 6
"${host[@]}" --show "$work/offline.show" caption "$photos"/* || true
echo
echo "== Offline captions with the country names in French (set Lang fr)"
"${host[@]}" set Lang fr
"${host[@]}" --show "$work/offline-fr.show" caption "$photos"/* || true
echo

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

# Each service captions the photos of the places its recorded answers know, from a data folder
# of its own: the service (iProv) shapes captions, so switching it in one folder would empty
# that folder's cache.
caption_with() {
    local prov=$1 name=$2
    shift 2
    local svc=("$build/locanym-host" --data "$data/$name" --log "$log")
    if [ ! -e "$data/$name/settings.json" ]; then
        "${svc[@]}" set Enabled 1
        "${svc[@]}" set Format "%A"
        "${svc[@]}" set iProv "$prov"
    fi
    echo "-- $name (iProv $prov)"
    "${svc[@]}" "${caption_options[@]+"${caption_options[@]}"}" caption "${@/#/$photos/}" || true
}
all_services() {
    caption_with 2 GeoNames notre-dame-de-paris.jpg jardin-du-luxembourg.tif colosseum-rome.jpg \
        opera-house-sydney.tif no-gps-position.jpg
    caption_with 1 Geoapify red-square-moscow.jpg
    caption_with 0 LocationIQ central-park-new-york.jpg
    caption_with 4 MapsCo wall-street-new-york.jpg
    caption_with 3 BigDataCloud nakano-tokyo.jpg
    caption_with 5 OpenWeather tower-bridge-london.jpg
}

echo "== Captions (service answers replayed from $LOCANYM_SERVICE_URL)"
caption_options=()
all_services
echo
echo "== The same photos again, as JSON: answered from the cache, no request made"
caption_options=(--json)
all_services
echo
echo "== set Format \"%C (%D)\" empties the cache; the next run shows the new captions"
caption_options=()
"$build/locanym-host" --data "$data/GeoNames" set Format "%C (%D)"
caption_with 2 GeoNames notre-dame-de-paris.jpg colosseum-rome.jpg
echo
echo "== The end of the plug-in log: $log"
grep -E 'gps location|Missing gps|Found in Cache|Cached|FindLocation|LoadCache' "$log" | tail -n 20 || true
echo
echo "Photos: $photos"
echo "Host data folders (settings.json, cache file): $data and one for each service below it"
