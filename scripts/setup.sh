#!/bin/bash
# Installs what building (and testing) Qel32 needs on a Debian machine; does nothing when all of
# it is there already.  usage: setup.sh [deb|native|all] [--list]
#   deb     building and installing the .deb alone: what a station needs, no test tool
#   native  and the native tests;  all  and the Windows build, Wine, the packages' and VM tiers
# --list prints the packages of the scope and installs nothing.
set -euo pipefail
scope=${1:-all}

packages=(cmake ninja-build g++ libssl-dev nlohmann-json3-dev dpkg-dev)
if [ "$scope" != deb ]; then
    packages+=(googletest srecord locales libc-l10n)
fi
if [ "$scope" = all ]; then
    packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
               wine wine64 xvfb xauth imagemagick clang libclang-rt-14-dev
               lintian unzip xdotool jq
               qemu-system-x86 linux-image-amd64 busybox-static python3)
fi

if [ "${2:-}" = --list ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

# The French system texts are tested in a French locale; a station needs none.
french_locale() { [ "$scope" = deb ] || locale -a 2>/dev/null | grep -qi '^fr_FR\.utf-\?8$'; }

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && french_locale && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
        "${missing[@]}"
fi
if ! french_locale; then
    echo "Generating the fr_FR.UTF-8 locale"
    $sudo sed -i 's/^# *\(fr_FR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^fr_FR.UTF-8 UTF-8' /etc/locale.gen || echo 'fr_FR.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen
    $sudo locale-gen >/dev/null
fi
