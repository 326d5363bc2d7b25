#!/usr/bin/env bash
# The Windows module's tests: cross-builds it (scripts/build.sh windows), starts the loopback
# servers as native Linux programs (Wine's programs reach them on 127.0.0.1), then checks
#   - the DLL: exactly one export, sldPlugInMsgHandler, and the version record 1.0.1.0, with
#     the help file Locanym.chm beside it;
#   - locanym-host.exe under Wine: "version" prints "Locanym v1.0.1", and "caption" gives, photo
#     by photo, the captions the Linux module gives with the same settings and answers;
#   - the Windows test programs under Wine through ctest; the dialog boxes among them get a
#     private Xvfb display and a Wine prefix of their own (a prefix's desktop keeps the display it
#     was first started with), and leave a PNG of each dialog in build/windows/screens/.
# Usage: scripts/test-windows.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/build.sh" windows
win="$top/build/windows"
native="$top/build"
run="$top/cmake/wine-run.sh"
objdump=x86_64-w64-mingw32-objdump

# The native side: the loopback peers, the photo maker and the Linux host and module.
cmake --preset default >/dev/null
cmake --build "$native" -j "$(nproc)" --target Locanym locanym-host locanym-make-samples \
    locanym-replay-server locanym-transport-server

work=$(mktemp -d "${TMPDIR:-/tmp}/locanym-windows-XXXXXX")
pids=()
screens="$win/screens"
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
# Wine sees the Linux root as drive Z:.
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
fail=0
passed=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
        passed=$((passed + 1))
    else
        echo "FAILED: $what" >&2
        fail=$((fail + 1))
    fi
}
# Starts a server that prints its address(es) on its first line; waits for that line.
start_server() {
    local out=$1
    shift
    "$@" >"$out" 2>"$out.log" &
    pids+=($!)
    for _ in $(seq 1 200); do
        [ -s "$out" ] && return 0
        sleep 0.05
    done
    echo "server $1 did not start; see $out.log" >&2
    return 1
}

# --- the DLL as users get it --------------------------------------------------------------------
exports=$("$objdump" -p "$win/Locanym.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    grep -E '^\s*\[ *[0-9]+\]' || true)
check "Locanym.dll exports sldPlugInMsgHandler only" \
    test "$(echo "$exports" | awk '{print $NF}')" = sldPlugInMsgHandler
check "Locanym.chm is built beside the DLL" test -s "$win/Locanym.chm"
check "Locanym.dll carries the version record 1.0.1.0" \
    bash -c "x86_64-w64-mingw32-windres -i '$win/Locanym.dll' -O rc 2>/dev/null |
             grep -q 'FILEVERSION 1, 0, 1, 0'"

# Keeps one Wine server for all the programs below: each start is then far quicker.
"$run" --init
WINEPREFIX=${WINEPREFIX:-$("$top/scripts/setup-windows.sh" --print-cache)/wineprefix} \
    wineserver -p 30 2>/dev/null || true

version=$("$run" "$win/locanym-host.exe" version | tr -d '\r')
check "locanym-host.exe version prints \"Locanym v1.0.1\" (got \"$version\")" \
    test "$version" = "Locanym v1.0.1"

# --- captions: the Linux module and the Windows module, the same answers -------------------------
start_server "$work/replay-url" "$native/locanym-replay-server"
export LOCANYM_SERVICE_URL
LOCANYM_SERVICE_URL=$(head -n 1 "$work/replay-url")
"$native/locanym-make-samples" "$work/photos"
for side in linux windows; do
    if [ $side = linux ]; then
        host=("$native/locanym-host" --module "$native/Locanym.so" --data "$work/data-linux"
            --log "$work/plugin-linux.log")
    else
        host=("$run" "$win/locanym-host.exe" --data "$(winpath "$work/data-windows")"
            --log "$(winpath "$work/plugin-windows.log")")
    fi
    "${host[@]}" set Enabled 1 >/dev/null
    "${host[@]}" set iProv 2 >/dev/null
    "${host[@]}" set Format "%A" >/dev/null
    : >"$work/captions-$side"
    for photo in "$work"/photos/*; do
        arg=$photo
        [ $side = windows ] && arg=$(winpath "$photo")
        caption=$("${host[@]}" caption "$arg" 2>/dev/null | tr -d '\r' | cut -f2- || true)
        printf '%s\t%s\n' "$(basename "$photo")" "$caption" >>"$work/captions-$side"
    done
done
check "the Linux module captions the sample photos" \
    test "$(cut -f2 "$work/captions-linux" | grep -c .)" -ge 5
check "locanym-host.exe captions every photo as the Linux module does" \
    diff "$work/captions-linux" "$work/captions-windows"
echo "captions (Windows module):"
sed 's/^/  /' "$work/captions-windows"

# --- the Windows test programs ---------------------------------------------------------------------
# An X server of our own for the dialog boxes; it names its display on the descriptor given.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
display=
if [ -s "$work/display" ]; then
    display=":$(head -n 1 "$work/display")"
    WINEPREFIX="$("$top/scripts/setup-windows.sh" --print-cache)/wineprefix-gui" "$run" --init
else
    echo "no X server could be started: the dialog tests will skip (see $work/xvfb.log)" >&2
fi
rm -rf "$screens"
mkdir -p "$screens"
export LOCANYM_TEST_SCREENS
LOCANYM_TEST_SCREENS=$(winpath "$screens")
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj /CN=localhost -addext subjectAltName=DNS:localhost 2>/dev/null
start_server "$work/transport-urls" "$native/locanym-transport-server" "$work/cert.pem" \
    "$work/key.pem"
read -r http https <"$work/transport-urls"
export LOCANYM_TEST_HTTP_URL=$http LOCANYM_TEST_HTTPS_URL=$https
LOCANYM_TEST_CA_FILE=$(winpath "$work/cert.pem")
LOCANYM_TEST_PHOTO=$(winpath "$work/photos/notre-dame-de-paris.jpg")
LOCANYM_TEST_CAPTION=$(grep '^notre-dame-de-paris.jpg' "$work/captions-linux" | cut -f2-)
export LOCANYM_TEST_CA_FILE LOCANYM_TEST_PHOTO LOCANYM_TEST_CAPTION
check "the Windows test programs pass under Wine" \
    ctest --test-dir "$win" --output-on-failure --timeout 300 -E windows_dialog_tests
# Only the dialog tests see the display: the shared prefix's desktop must not keep it.
check "the Win32 dialog boxes pass under Wine with a display" \
    env LOCANYM_WINE_DISPLAY="$display" \
    ctest --test-dir "$win" --output-on-failure --timeout 300 -R windows_dialog_tests
for shot in "$screens"/*.bmp; do
    [ -e "$shot" ] || continue
    convert "$shot" "${shot%.bmp}.png" && rm "$shot"
done
if [ -n "$display" ]; then
    check "a screenshot of each of the three dialogs is in $screens" \
        test -s "$screens/dialog_101_main.png" -a -s "$screens/dialog_103_api_key.png" \
        -a -s "$screens/dialog_1009_geonames.png"
fi

echo "windows: $passed passed, $fail failed"
[ $fail -eq 0 ]
