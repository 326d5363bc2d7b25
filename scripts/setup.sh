#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the benchmarks need
# (listed in scripts/debian-packages.txt). Does nothing when all are present.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

missing=()
while read -r pkg; do
    [ -z "$pkg" ] && continue
    case "$pkg" in \#*) continue ;; esac
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done < "$here/debian-packages.txt"

fetch_places() {
    # Without the place data the build still succeeds; the offline finder's tests then skip.
    if ! "$here/fetch-places.sh"; then
        echo "warning: the offline place data could not be fetched; building without it" >&2
    fi
}

if [ ${#missing[@]} -eq 0 ]; then
    fetch_places
    exit 0
fi

echo "Installing Debian packages: ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
        sudo="sudo"
    else
        echo "error: packages are missing (${missing[*]}) and this user cannot install them; run as root or install them first" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fetch_places
