#!/usr/bin/env bash
# CTest's door to the Samba lab: brings it up, takes it down, or runs a test
# program inside the lab's client namespace. Where the lab cannot run (not
# root, no network namespaces, Samba missing) it says so and exits 77, which
# CTest reports as skipped.
#
#   lab-ctest.sh [auth|domain] up | down | run COMMAND...
#
# With "auth" it works on the log-on lab, with "domain" on the domain lab;
# each runs beside the small one under a prefix and folder of its own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
size=small
tools=(ip smbd nmbd smbtree nmblookup wsdd avahi-daemon dbus-daemon)
case ${1:-} in
auth | domain)
    size=$1
    shift
    # Not "<prefix>-...": the small lab's teardown takes every namespace
    # that starts so.
    suffix=$([ "$size" = auth ] && echo auth || echo dom)
    export NORVANE_LAB_PREFIX=${NORVANE_LAB_PREFIX:-nvlab}$suffix
    export NORVANE_LAB_DIR=${NORVANE_LAB_DIR:-/tmp/norvane-lab}-$suffix
    ;;
esac
[ "$size" = domain ] && tools+=(samba samba-tool winbindd net kinit ldbadd python3)
CLIENT_NS=${NORVANE_LAB_PREFIX:-nvlab}-client

skip() {
    echo "SKIPPED: Samba lab tests not run: $*"
    exit 77
}

[ "$(id -u)" -eq 0 ] || skip "they need root for network namespaces (CI runs them as root)"
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup.sh --tests installs it)"
done
probe=nvlab-probe-$$
ip netns add "$probe" 2>/dev/null || skip "network namespaces cannot be made here"
ip netns del "$probe"

case ${1:-} in
up) exec "$here/lab.sh" up "$size" ;;
down) exec "$here/lab.sh" down ;;
run)
    shift
    ip netns list | grep -q "^$CLIENT_NS\b" || {
        echo "the lab is not up (lab_up failed?)" >&2
        exit 1
    }
    exec ip netns exec "$CLIENT_NS" "$@"
    ;;
*)
    echo "usage: lab-ctest.sh [auth|domain] up | down | run COMMAND..." >&2
    exit 2
    ;;
esac
