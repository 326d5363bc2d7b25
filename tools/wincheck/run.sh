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
    wincheck_json_pc wincheck_gtest wincheck_dialog wincheck_wininet
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

# WinINet against a loopback server: plain HTTP, then TLS with a test authority trusted only in a
# Wine prefix of its own. Wine matches the server name against DNS names, not IP addresses, so
# the TLS request goes to "localhost" (which is 127.0.0.1 here).
wininet() {
    local tls="$build/tls"
    rm -rf "$tls"
    mkdir -p "$tls"
    echo '{"ok":true}' >"$tls/answer.json"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tls/key.pem" -out "$tls/cert.pem" -days 2 \
        -subj /CN=localhost -addext subjectAltName=DNS:localhost 2>/dev/null
    openssl x509 -in "$tls/cert.pem" -outform der -out "$tls/cert.der"
    timeout 120 python3 - "$tls" >"$tls/ports" 2>"$tls/server.log" <<'PY' &
import functools, http.server, ssl, sys, threading
folder = sys.argv[1]
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=folder)
plain = http.server.HTTPServer(("127.0.0.1", 0), handler)
secure = http.server.HTTPServer(("127.0.0.1", 0), handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(folder + "/cert.pem", folder + "/key.pem")
secure.socket = context.wrap_socket(secure.socket, server_side=True)
print(plain.server_port, secure.server_port, flush=True)
threading.Thread(target=plain.serve_forever, daemon=True).start()
secure.serve_forever()
PY
    local server=$!
    for _ in $(seq 100); do [ -s "$tls/ports" ] && break; sleep 0.1; done
    read -r plain secure <"$tls/ports"
    local rc=0
    (
        export WINEPREFIX="$build/wineprefix-tls"
        run="$top/cmake/wine-run.sh"
        "$run" "$build/wincheck_wininet.exe" "http://127.0.0.1:$plain/answer.json" 84000000 '{"ok"'
        "$run" "$build/wincheck_wininet.exe" --add-root "$tls/cert.der"
        "$run" "$build/wincheck_wininet.exe" "https://localhost:$secure/answer.json" 84800000 '{"ok"'
    ) || rc=1
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    return $rc
}
step "WinINet over HTTP and HTTPS under Wine" wininet

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
