#!/usr/bin/env bash
# Cross-builds the check programs into build/wincheck and runs them under Wine through ctest,
# then compiles a tiny HTML Help project with chmcmd. Prints how long each step took.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build="$top/build/wincheck"

step() {
    local name=$1
    shift
    local start=$SECONDS
    "$@"
    echo "wincheck: $name took $((SECONDS - start)) s" >&2
}

step "setup-windows.sh" "$top/scripts/setup-windows.sh"
step "configure" cmake -S "$top/tools/wincheck" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
step "build" cmake --build "$build" -j 2 --target wincheck_dll wincheck_load wincheck_json \
    wincheck_json_pc wincheck_gtest wincheck_dialog
step "ctest under Wine" ctest --test-dir "$build" --output-on-failure

# The DLL's dialog under Xvfb: a screenshot in build/wincheck/dialog.png.
shot() {
    local done="$build/dialog.done" out="$build/dialog.out"
    rm -f "$done" "$out" "$build/dialog.png"
    xvfb-run -a -s "-screen 0 640x400x24" bash -c '
        build=$1 done=$2 out=$3 wine_run=$4
        LOCANYM_WINE_DISPLAY=$DISPLAY "$wine_run" "$build/wincheck_dialog.exe" \
            "$build/wincheck.dll" "$done" >"$out" 2>&1 &
        pid=$!
        for _ in $(seq 600); do grep -q shown "$out" 2>/dev/null && break; sleep 0.1; done
        sleep 1
        xwd -root -silent | /usr/bin/convert xwd:- "$build/dialog.png"
        touch "$done"
        wait $pid' _ "$build" "$done" "$out" "$top/cmake/wine-run.sh"
    grep -q shown "$out" && [ -s "$build/dialog.png" ] || {
        echo "wincheck: the dialog did not show" >&2
        cat "$out" >&2
        return 1
    }
}
step "dialog screenshot under Xvfb" shot

# HTML Help: chmcmd compiles a one-page project.
chm="$build/chm"
rm -rf "$chm"
mkdir -p "$chm"
cat >"$chm/index.html" <<'HTML'
<html><head><meta charset="utf-8"><title>Check</title></head><body><p>Help page.</p></body></html>
HTML
cat >"$chm/wincheck.hhp" <<'HHP'
[OPTIONS]
Compiled file=wincheck.chm
Default topic=index.html
Title=Check
Language=0x409 English (United States)

[FILES]
index.html
HHP
step "chmcmd" bash -c "cd '$chm' && chmcmd wincheck.hhp >chmcmd.log 2>&1"
[ -s "$chm/wincheck.chm" ] && head -c 4 "$chm/wincheck.chm" | grep -q ITSF || {
    echo "wincheck: chmcmd made no .chm" >&2
    cat "$chm/chmcmd.log" >&2
    exit 1
}
echo "wincheck: $(x86_64-w64-mingw32-objdump -p "$build/wincheck.dll" | grep -A3 'Ordinal/Name Pointer')"
echo "wincheck: all checks passed"
