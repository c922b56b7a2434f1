#!/usr/bin/env bash
# Installs what is missing, builds and starts Norvane on the network this
# machine is on.
#
#   ./scripts/run.sh [ARGS...]          start Norvane; ARGS go to the program
#   sudo ./scripts/run.sh --lab [ARGS...]
#       first bring up the Samba test network (three workgroups, a dozen
#       servers with shares and printers) in network namespaces, run Norvane
#       inside the lab's client namespace so that it browses the lab, and take
#       the lab down again when Norvane ends, however it ends.
#
# Under sudo the build and the program run as the invoking user, so that the
# build tree, the settings and the file-manager entry stay theirs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NORVANE_BUILD_DIR:-$root/build}
lab_script=$root/tests/lab/lab.sh
# The names tests/lab/lab.sh gives its namespaces.
lab_prefix=${NORVANE_LAB_PREFIX:-nvlab}-
lab_client_ns=${lab_prefix}client

say() { echo "run.sh: $*" >&2; }

usage() {
    sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0"
}

lab=
args=()
for arg in "$@"; do
    case $arg in
    --lab) lab=1 ;;
    -h | --help)
        usage
        exit 0
        ;;
    *) args+=("$arg") ;;
    esac
done

# Platforms that draw without a display server need none.
has_display() {
    case ${QT_QPA_PLATFORM:-} in
    offscreen* | minimal* | vnc* | linuxfb* | eglfs*) return 0 ;;
    esac
    [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]
}

if ! has_display; then
    sudo_word=
    [ -n "$lab" ] && sudo_word="sudo "
    cat >&2 <<EOF
run.sh: no display. Norvane is a desktop program and needs an X11 or Wayland
session, but neither DISPLAY nor WAYLAND_DISPLAY is set. Start it from a
desktop session or over 'ssh -X', or give it a virtual display:

    ${sudo_word}xvfb-run -a ./scripts/run.sh${lab:+ --lab}

(xvfb-run comes with the xvfb package; scripts/setup.sh installs it).
EOF
    exit 1
fi

if [ -n "$lab" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        cat >&2 <<EOF
run.sh: --lab needs root: the Samba test network runs in network namespaces,
which only root can make. Run it through sudo:

    sudo ./scripts/run.sh --lab
EOF
        exit 1
    fi
    if ip netns list 2>/dev/null | grep -q "^$lab_prefix"; then
        cat >&2 <<EOF
run.sh: a Samba lab is already up (the lab tests may be running, or an earlier
run was killed before it could clean up). When nothing uses it any more, take
it down and try again:

    sudo tests/lab/lab.sh down
EOF
        exit 1
    fi
fi

# Under sudo, build and run as the user who asked, when the checkout is theirs.
as_user=()
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_UID:-}" ] && [ "$SUDO_UID" -ne 0 ] &&
    [ "$(stat -c %u "$root")" = "$SUDO_UID" ]; then
    user_home=$(getent passwd "$SUDO_UID" | cut -d: -f6)
    as_user=(env HOME="$user_home" USER="$SUDO_USER" LOGNAME="$SUDO_USER"
        setpriv --reuid "$SUDO_UID" --regid "$SUDO_GID" --init-groups --)
    if [ -z "${XDG_RUNTIME_DIR:-}" ] && [ -d "/run/user/$SUDO_UID" ]; then
        export XDG_RUNTIME_DIR=/run/user/$SUDO_UID
    fi
fi

"$root/scripts/setup.sh" ${lab:+--tests}
"${as_user[@]}" "$root/scripts/build.sh"
program=$build/src/app/norvane

if [ -z "$lab" ]; then
    exec "${as_user[@]}" "$program" "${args[@]}"
fi

# An X authority file the user cannot read (xvfb-run started by root makes
# one) would keep the program off the display: then it stays root.
if [ ${#as_user[@]} -gt 0 ] && [ -n "${XAUTHORITY:-}" ] &&
    ! "${as_user[@]}" test -r "$XAUTHORITY"; then
    say "the user cannot read $XAUTHORITY; Norvane runs as root"
    as_user=()
fi

lab_started=
child=
# shellcheck disable=SC2317 # called from the traps below
cleanup() {
    trap - EXIT INT TERM HUP
    if [ -n "$child" ]; then
        kill -TERM "$child" 2>/dev/null || true
        wait "$child" 2>/dev/null || true
    fi
    if [ -n "$lab_started" ]; then
        say "taking the Samba lab down"
        "$lab_script" down >/dev/null || say "the lab did not come down: run 'sudo tests/lab/lab.sh down'"
    fi
}
trap 'status=$?; cleanup; exit $status' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

say "bringing up the Samba lab: 3 workgroups, 12 servers and 3 modern hosts (browsing takes a minute or two to settle)"
lab_started=1
"$lab_script" up large
# Inside the lab's own namespace unprivileged ICMP echo sockets are off by
# default; the Ping tool of a program run as the user needs them.
ip netns exec "$lab_client_ns" sysctl -qw net.ipv4.ping_group_range="0 2147483647"

say "starting Norvane inside the lab; the lab goes down when Norvane ends"
# In the background, so that a signal to this script is handled at once.
ip netns exec "$lab_client_ns" "${as_user[@]}" "$program" "${args[@]}" &
child=$!
status=0
wait "$child" || status=$?
child=
[ "$status" -gt 128 ] && say "Norvane was ended by signal $((status - 128))"
exit "$status"
