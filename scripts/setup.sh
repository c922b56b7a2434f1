#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Norvane
# need, when any is missing. Uses sudo only when not running as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
    libsmbclient-dev libasound2-dev
    samba smbclient iproute2 iputils-ping
    xvfb xauth
    appstream dpkg-dev fakeroot file
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
