#!/usr/bin/env bash
# Runs a test program inside a private D-Bus session that has a keyring
# service of its own (gnome-keyring's Secret Service, its keyring unlocked,
# in a temporary home), so that the test never touches the user's keyring.
# Exits 77 (skipped) when the tools are missing or the service cannot start
# here.
#
#   with-keyring.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
for tool in dbus-run-session gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed: no keyring test"
        exit 77
    fi
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
export HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run
export NORVANE_TEST_KEYRING=1

# shellcheck disable=SC2016 # expanded by the inner shell
exec dbus-run-session -- bash -c '
    # The keyring password comes on standard input, never on a command line.
    if ! printf "keyring-of-the-test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1; then
        echo "SKIP: gnome-keyring-daemon does not start here"
        exit 77
    fi
    exec "$@"
' with-keyring "$@"
