#!/usr/bin/env bash
# Installs the Debian packages of scripts/debian-packages.txt: those that building the module
# and the host needs, and those of the commands named. Does nothing when all are present.
# Usage: scripts/setup.sh [--test] [--bench] [--fuzz] [--demo] [--ci] [--package] [--places]
#        scripts/setup.sh --all
# --test, --demo and --places also fetch the offline place data (scripts/fetch-places.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

purposes=()
places=0
for arg in "$@"; do
    case "$arg" in
        --all) purposes+=(test bench fuzz demo ci package places); places=1 ;;
        --test | --demo | --places) purposes+=("${arg#--}"); places=1 ;;
        --bench | --fuzz | --ci | --package) purposes+=("${arg#--}") ;;
        *) echo "usage: $0 [--test] [--bench] [--fuzz] [--demo] [--ci] [--package] [--places] [--all]" >&2
           exit 2 ;;
    esac
done

wanted() {  # the purposes of one line; none means the build itself
    [ $# -eq 0 ] && return 0
    local purpose p
    for purpose in "$@"; do
        for p in "${purposes[@]+"${purposes[@]}"}"; do
            [ "$p" = "$purpose" ] && return 0
        done
    done
    return 1
}

missing=()
while read -r pkg rest; do
    [ -z "$pkg" ] && continue
    case "$pkg" in \#*) continue ;; esac
    # shellcheck disable=SC2086
    wanted $rest || continue
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done < "$here/debian-packages.txt"

fetch_places() {
    [ "$places" = 1 ] || return 0
    # Without the place data the build still succeeds; the offline finder's tests then skip.
    if ! "$here/fetch-places.sh"; then
        echo "warning: the offline place data could not be fetched; building without it" >&2
    fi
}

# The formatting tests switch to a locale with a decimal comma; generate one when missing.
comma_locale() {
    wanted test || return 0
    locale -a 2>/dev/null | grep -qi '^de_DE.utf-\?8$' && return 0
    $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 ||
        echo "warning: no de_DE.UTF-8 locale; the decimal-comma test will be skipped" >&2
}

sudo=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null; then sudo="sudo"; fi

if [ ${#missing[@]} -eq 0 ]; then
    comma_locale
    fetch_places
    exit 0
fi

echo "Installing Debian packages: ${missing[*]}" >&2
if [ "$(id -u)" -ne 0 ]; then
    if [ -z "$sudo" ]; then
        echo "error: packages are missing (${missing[*]}) and this user cannot install them; run as root or install them first" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
comma_locale
fetch_places
