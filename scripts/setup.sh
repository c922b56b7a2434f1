#!/usr/bin/env bash
# Installs the Debian packages that building and running Norvane need, when
# any is missing; with --tests also what the test suite needs (Samba for the
# test lab, its domain controller and the Kerberos tools for the domain lab,
# wsdd for its modern hosts, the packaging tools, PostgreSQL for the scan
# store's private test cluster). Qt's SQL headers come with qt6-base-dev,
# its SQLite and PostgreSQL drivers with libqt6sql6-sqlite and
# libqt6sql6-psql. Uses sudo only when not running as root.
#
#   scripts/setup.sh [--tests]
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
    libsmbclient-dev libasound2-dev libavahi-client-dev libkrb5-dev qtkeychain-qt6-dev
    libldap-dev libsasl2-dev libsasl2-modules-gssapi-mit
    libsecret-1-0 ieee-data
    libqt6sql6-sqlite libqt6sql6-psql
    xvfb xauth
)
if [ "${1:-}" = "--tests" ]; then
    packages+=(samba smbclient wsdd iproute2 iputils-ping util-linux appstream dpkg-dev fakeroot file
        man-db)
    packages+=(avahi-daemon dbus-daemon dbus-bin gnome-keyring)
    packages+=(samba-ad-dc samba-ad-provision winbind krb5-user ldb-tools)
    # The scan store's tests start a private PostgreSQL cluster of their own;
    # the sites lab test reads the program's JSON with Python.
    packages+=(postgresql python3)
fi

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

# The test lab runs its own Samba, Avahi and wsdd daemons inside network
# namespaces, the store's tests their own PostgreSQL cluster. When this script is the one installing them, their system
# services are neither started nor enabled, so the machine does not begin
# serving or announcing itself on its network.
installs_samba=
installs_avahi=
installs_wsdd=
installs_postgres=
for p in "${missing[@]}"; do
    case $p in samba | samba-ad-dc | winbind) installs_samba=1 ;; esac
    [ "$p" = avahi-daemon ] && installs_avahi=1
    [ "$p" = wsdd ] && installs_wsdd=1
    [ "$p" = postgresql ] && installs_postgres=1
done
policy=/usr/sbin/policy-rc.d
own_policy=
if [ -n "$installs_samba$installs_avahi$installs_wsdd$installs_postgres" ] && [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
    "${sudo[@]}" chmod 755 "$policy"
    own_policy=1
    trap '"${sudo[@]}" rm -f "$policy"' EXIT
fi

"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

if [ -n "$installs_samba" ] && [ -d /run/systemd/system ]; then
    # One at a time: a unit that does not exist must not keep the others on.
    for unit in smbd nmbd samba-ad-dc winbind; do
        "${sudo[@]}" systemctl disable --now "$unit" >/dev/null 2>&1 || true
    done
    echo "Samba's system services were left disabled; the test lab starts its own daemons."
fi
if [ -n "$installs_avahi" ] && [ -d /run/systemd/system ]; then
    "${sudo[@]}" systemctl disable --now avahi-daemon.service avahi-daemon.socket >/dev/null 2>&1 || true
    echo "Avahi's system service was left disabled; the test lab starts its own daemons."
fi
if [ -n "$installs_wsdd" ] && [ -d /run/systemd/system ]; then
    "${sudo[@]}" systemctl disable --now wsdd >/dev/null 2>&1 || true
    echo "wsdd's system service was left disabled; the test lab starts its own."
fi
if [ -n "$installs_postgres" ] && [ -d /run/systemd/system ]; then
    "${sudo[@]}" systemctl disable --now postgresql >/dev/null 2>&1 || true
    echo "PostgreSQL's system service was left disabled; the store's tests start their own cluster."
fi
if [ -n "$own_policy" ]; then
    "${sudo[@]}" rm -f "$policy"
    trap - EXIT
fi
