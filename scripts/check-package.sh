#!/usr/bin/env bash
# Checks the Debian package as a user would meet it: installs it with apt into a fresh Debian
# root made by debootstrap, then runs `locanym-host --version`, `locanym-host version` and a
# caption of a sample photo there, the service answered by the replay server on 127.0.0.1.
#
# debootstrap needs the Debian package mirror; the one the system's apt uses is taken (or
# LOCANYM_DEBIAN_MIRROR). When the fresh root cannot be made, the lighter check runs instead:
# the package is unpacked into a folder (dpkg-deb -x), its declared dependencies are checked
# against this system, and the same commands run from the unpacked copy.
#
# Usage: scripts/check-package.sh [PACKAGE.deb]      (default: build it with scripts/package.sh)
# Runs as root (debootstrap and chroot need it); LOCANYM_CHECK_LIGHT=1 skips the fresh root.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh" --package --demo
deb=${1:-$("$top/scripts/package.sh")}
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
echo "== Checking $deb"

# The sample photos and the replay server come from the demo build.
"$top/scripts/build.sh" demo locanym-make-samples locanym-replay-server >/dev/null
demo="$top/build-demo"
work=$(mktemp -d "${TMPDIR:-/tmp}/locanym-check-XXXXXX")
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    if [ -d "$work/root/proc" ] && mountpoint -q "$work/root/proc"; then umount "$work/root/proc"; fi
    rm -rf "$work"
}
trap cleanup EXIT
"$demo/locanym-make-samples" "$work/photos" >/dev/null
"$demo/locanym-replay-server" >"$work/url" 2>"$work/replay.log" &
server=$!
for _ in $(seq 1 100); do [ -s "$work/url" ] && break; sleep 0.05; done
url=$(head -n 1 "$work/url")
[ -n "$url" ] || { echo "the replay server did not start" >&2; exit 1; }

mirror() {
    if [ -n "${LOCANYM_DEBIAN_MIRROR:-}" ]; then echo "$LOCANYM_DEBIAN_MIRROR"; return; fi
    # The first Debian archive the system's apt uses (deb822 or one-line sources).
    local sources
    sources=$(cat /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null || true)
    grep -Eo 'https?://[^ ]+/debian/?( |$)' <<<"$sources" | grep -v security | awk 'NR == 1 { gsub(/ /, ""); print }'
}

# Runs the checks with a command prefix that reaches the installed host ($@ before the args).
run_checks() {
    local photo=$1 data=$2
    shift 2
    local version
    version=$("$@" locanym-host --version)
    echo "   $version"
    [ "$version" = "locanym-host $(sed -nE 's/^project\(Locanym VERSION ([0-9.]+).*/\1/p' "$top/CMakeLists.txt")" ]
    "$@" locanym-host --data "$data" version
    "$@" locanym-host --data "$data" set Enabled 1 >/dev/null
    "$@" locanym-host --data "$data" set iProv 2 >/dev/null
    "$@" locanym-host --data "$data" set Format %C >/dev/null
    "$@" env LOCANYM_SERVICE_URL="$url" locanym-host --data "$data" \
        caption "$photo" | tee "$work/caption.out"
    grep -q $'\tRoma' "$work/caption.out"
}

root="$work/root"
if [ "${LOCANYM_CHECK_LIGHT:-0}" != 1 ] && command -v debootstrap >/dev/null && [ "$(id -u)" = 0 ] &&
    m=$(mirror) && [ -n "$m" ] &&
    echo "== Making a fresh Debian root (debootstrap --variant=minbase bookworm)" &&
    debootstrap --variant=minbase bookworm "$root" "$m" >"$work/debootstrap.log" 2>&1; then
    cp "$deb" "$root/tmp/locanym.deb"
    mkdir -p "$root/tmp/photos"
    cp "$work/photos/colosseum-rome.jpg" "$root/tmp/photos/"
    mount -t proc proc "$root/proc"
    echo "== Installing the package with apt in the fresh root"
    chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /tmp/locanym.deb \
        >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }
    echo "== Running the installed host"
    run_checks /tmp/photos/colosseum-rome.jpg /tmp/locanym-data chroot "$root"
    echo "OK: the package installs into a fresh Debian root and captions a photo there"
else
    [ -f "$work/debootstrap.log" ] && { echo "debootstrap failed:" >&2; tail -n 5 "$work/debootstrap.log" >&2; }
    echo "== Lighter check: unpacking the package and running it from there"
    dpkg-deb -x "$deb" "$root"
    deps=$(dpkg-deb -f "$deb" Depends)
    echo "   Depends: $deps"
    # Each dependency (first of its alternatives) must be a package this system knows.
    for dep in $(echo "$deps" | tr ',' '\n' | sed -E 's/\|.*//; s/\(.*\)//; s/ //g'); do
        apt-cache show "$dep" >/dev/null 2>&1 || { echo "unknown dependency: $dep" >&2; exit 1; }
    done
    PATH="$root/usr/bin:$PATH" run_checks "$work/photos/colosseum-rome.jpg" "$work/data" env
    echo "OK (lighter check): the unpacked package runs and captions a photo"
fi
