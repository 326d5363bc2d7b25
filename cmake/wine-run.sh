#!/usr/bin/env bash
# Runs one cross-built Windows program under 64-bit Wine, headless and quiet, and returns its exit
# code. CMake uses it as the cross-compiling emulator, so ctest and test discovery work as on Linux.
# The Wine prefix lives in the cache folder beside the cross-built libraries; the first run creates
# it (without the Mono and Gecko installers, which would ask questions) within a bounded time.
# Usage: cmake/wine-run.sh PROGRAM.exe [ARGS...]
#        cmake/wine-run.sh --init        only creates the prefix
set -euo pipefail
cache=${LOCANYM_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/locanym/windows}
export WINEPREFIX=${WINEPREFIX:-$cache/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Console programs need no display; an inherited one could be gone by the time Wine starts.
[ -n "${LOCANYM_WINE_DISPLAY:-}" ] && export DISPLAY=$LOCANYM_WINE_DISPLAY || unset DISPLAY
init_timeout=${LOCANYM_WINE_INIT_TIMEOUT:-180}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    # A prefix half made by an interrupted first start would fail later in odd ways.
    if ! timeout "$init_timeout" wine wineboot --init >"$(dirname "$WINEPREFIX")/wineboot.log" 2>&1 ||
        ! timeout "$init_timeout" wineserver --wait; then
        echo "wine-run: creating the Wine prefix $WINEPREFIX failed or took over ${init_timeout}s" \
            "(see $(dirname "$WINEPREFIX")/wineboot.log)" >&2
        rm -rf "$WINEPREFIX"
        exit 125
    fi
    # Xvfb has no window manager: Wine draws the title bars itself, so screenshots show them.
    timeout "$init_timeout" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ \
        /d N /f >/dev/null 2>&1 || true
fi
[ "${1:-}" = "--init" ] && exit 0
exec wine "$@"
