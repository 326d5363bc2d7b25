#!/usr/bin/env bash
# Prepares this Linux machine to cross-build and run the Windows module:
#   - the mingw-w64 compilers for x86_64, used through their posix thread model (GCC 12's win32
#     model has no std::thread or std::mutex),
#   - Wine (64-bit only) to run the programs headless; Xvfb, xwd and ImageMagick to take
#     screenshots of dialogs; chmcmd for the help,
#   - JsonCpp, built for the target as a static library from Debian's own source package; and
#     GoogleTest's sources (Debian ships them in /usr/src/googletest) for tests built for Windows.
# Third-party files never enter the tree: they live in the cache folder
#   ${LOCANYM_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/locanym/windows}
# (src/ the unpacked sources, prefix/ the installed libraries, wineprefix/ Wine's C: drive), the
# same folder that cmake/toolchain-mingw64.cmake looks in. Running it again when all is in place
# only checks and returns.
# Usage: scripts/setup-windows.sh [--print-cache]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cache=${LOCANYM_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/locanym/windows}
if [ "${1:-}" = "--print-cache" ]; then
    echo "$cache"
    exit 0
fi

packages=(
    g++-mingw-w64-x86-64-posix
    gcc-mingw-w64-x86-64-posix
    binutils-mingw-w64-x86-64
    mingw-w64-x86-64-dev
    wine
    wine64
    fonts-wine
    fonts-liberation
    xvfb
    xauth
    x11-apps
    imagemagick
    fp-utils
    googletest
    openssl
    python3
    dpkg-dev
    cmake
    make
)

log() { echo "setup-windows: $*" >&2; }

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
        sudo="sudo"
    else
        sudo="false"
    fi
fi
export DEBIAN_FRONTEND=noninteractive
# Others may be installing on the same machine: wait for dpkg's lock rather than fail at once.
apt_get() { $sudo apt-get -o DPkg::Lock::Timeout=300 "$@"; }

# --- Debian packages -----------------------------------------------------------------------------
missing=()
for pkg in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done
apt_updated=0
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$sudo" = "false" ]; then
        log "error: packages are missing (${missing[*]}) and this user cannot install them"
        exit 1
    fi
    log "installing Debian packages: ${missing[*]}"
    apt_get update -qq
    apt_updated=1
    apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# --- deb-src entry, so that JsonCpp's source comes from the same archive as the binaries ---------
# The entry copies the machine's own entry for its release (URIs, Suites, Signed-By), so it
# follows whatever mirror the machine is set up with.
has_sources_index() {
    apt-get indextargets --format '$(IDENTIFIER)' 2>/dev/null | grep -qx Sources
}
if ! has_sources_index; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || { log "error: /etc/os-release names no release"; exit 1; }
    src_deb822=/etc/apt/sources.list.d/locanym-src.sources
    src_list=/etc/apt/sources.list.d/locanym-src.list
    entry=""
    shopt -s nullglob
    for f in /etc/apt/sources.list.d/*.sources; do
        [ "$f" = "$src_deb822" ] && continue
        # Paragraphs are separated by blank lines; take the first binary one for this release.
        entry=$(awk -v rel="$codename" '
            BEGIN { RS = ""; FS = "\n" }
            {
                binary = 0; ours = 0; out = ""
                for (i = 1; i <= NF; i++) {
                    if ($i ~ /^#/) continue
                    if ($i ~ /^Types:/) { binary = ($i ~ /[ \t]deb([ \t]|$)/); $i = "Types: deb-src" }
                    if ($i ~ /^Suites:/ && (" " $i " ") ~ (" " rel " ")) ours = 1
                    out = out $i "\n"
                }
                if (binary && ours) { printf "%s", out; exit }
            }' "$f")
        [ -n "$entry" ] && break
    done
    shopt -u nullglob
    if [ -n "$entry" ]; then
        log "adding deb-src entry $src_deb822"
        printf '%s\n' "$entry" | $sudo tee "$src_deb822" >/dev/null
    else
        lines=$(grep -hE "^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?[^[:space:]]+[[:space:]]+$codename[[:space:]]" \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | sed 's/^deb/deb-src/' || true)
        [ -n "$lines" ] || { log "error: found no apt entry for $codename to add a deb-src entry beside"; exit 1; }
        log "adding deb-src entry $src_list"
        printf '%s\n' "$lines" | $sudo tee "$src_list" >/dev/null
    fi
    apt_updated=0
fi

# Two worktrees (or CI and a developer) may set up at once: one builds, the other waits for it.
mkdir -p "$cache/src"
exec 9>"$cache/.setup.lock"
flock 9

# --- Wine prefix: created once, headless, within a bounded time -----------------------------------
"$top/cmake/wine-run.sh" --init

# --- JsonCpp for the target ----------------------------------------------------------------------
toolchain="$top/cmake/toolchain-mingw64.cmake"
prefix="$cache/prefix"
stamp="$prefix/.jsoncpp-stamp"
# The stamp records the source folder and a hash of the toolchain file; a new toolchain rebuilds.
want_stamp="$(sha256sum "$toolchain" | cut -c1-16)"
if [ -f "$stamp" ] && [ -f "$prefix/lib/libjsoncpp.a" ] && grep -q "$want_stamp" "$stamp"; then
    exit 0
fi

srcdir=$(find "$cache/src" -mindepth 1 -maxdepth 1 -type d -name 'libjsoncpp-*' | sort | tail -n1)
if [ -z "$srcdir" ]; then
    if [ $apt_updated -eq 0 ] || ! has_sources_index; then
        apt_get update -qq
    fi
    log "fetching JsonCpp's Debian source package"
    (cd "$cache/src" && apt-get source -qq libjsoncpp >/dev/null 2>"$cache/src/apt-source.log") || {
        cat "$cache/src/apt-source.log" >&2
        exit 1
    }
    srcdir=$(find "$cache/src" -mindepth 1 -maxdepth 1 -type d -name 'libjsoncpp-*' | sort | tail -n1)
    [ -n "$srcdir" ] || { log "error: apt-get source unpacked no libjsoncpp-* folder"; exit 1; }
fi

log "cross-building $(basename "$srcdir") into $prefix"
rm -rf "$cache/build/jsoncpp"
mkdir -p "$cache/build"
cmake -S "$srcdir" -B "$cache/build/jsoncpp" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_PKGCONFIG_SUPPORT=ON -DJSONCPP_WITH_CMAKE_PACKAGE=ON \
    >"$cache/build/jsoncpp.log" 2>&1 || { tail -n 30 "$cache/build/jsoncpp.log" >&2; exit 1; }
cmake --build "$cache/build/jsoncpp" -j "$(nproc)" >>"$cache/build/jsoncpp.log" 2>&1 \
    && cmake --install "$cache/build/jsoncpp" >>"$cache/build/jsoncpp.log" 2>&1 \
    || { tail -n 30 "$cache/build/jsoncpp.log" >&2; exit 1; }
echo "$(basename "$srcdir") $want_stamp" >"$stamp"
