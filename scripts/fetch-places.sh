#!/usr/bin/env bash
# Fetches the npm packages that the offline place data is built from (scripts/places-packages.txt)
# into a cache folder outside the source tree, checks each tarball against its pinned sha512
# integrity value and unpacks it for the build. Does nothing for a package already unpacked.
#
# Cache folder: $LOCANYM_PLACES_CACHE, else ${XDG_CACHE_HOME:-~/.cache}/locanym (the build
# looks in the same place). Exits non-zero when a package cannot be fetched or fails its check;
# a tarball that fails the check is deleted and never unpacked.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cache=${LOCANYM_PLACES_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/locanym}
mkdir -p "$cache/npm"
# The machines' nodejs package brings npm with it (a separate Debian npm package conflicts with it).
if ! command -v npm >/dev/null; then
    echo "error: npm is not installed" >&2
    exit 1
fi

integrity_of() {
    echo "sha512-$(openssl dgst -sha512 -binary "$1" | base64 -w0)"
}

status=0
while read -r name version integrity; do
    case "$name" in ''|\#*) continue ;; esac
    unpacked="$cache/$name-$version"
    if [ -f "$unpacked/.verified" ]; then
        continue
    fi
    tarball="$cache/npm/$name-$version.tgz"
    if [ ! -f "$tarball" ]; then
        echo "Fetching $name@$version" >&2
        if ! (cd "$cache/npm" && npm pack --silent "$name@$version" >/dev/null); then
            echo "error: npm pack $name@$version failed" >&2
            status=1
            continue
        fi
    fi
    actual=$(integrity_of "$tarball")
    if [ "$actual" != "$integrity" ]; then
        echo "error: $tarball does not match its pinned integrity value; deleted" >&2
        rm -f "$tarball"
        status=1
        continue
    fi
    rm -rf "$unpacked.tmp"
    mkdir -p "$unpacked.tmp"
    tar -xzf "$tarball" -C "$unpacked.tmp" --strip-components=1
    touch "$unpacked.tmp/.verified"
    rm -rf "$unpacked"
    mv "$unpacked.tmp" "$unpacked"
done < "$top/scripts/places-packages.txt"
exit $status
