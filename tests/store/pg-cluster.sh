#!/usr/bin/env bash
# A private PostgreSQL cluster for the store's tests: initdb in a temporary
# folder, a Unix socket in that folder only (no TCP port), no system
# service. The server and initdb refuse to run as root, so as root they run
# as an unprivileged user. Log-ons need a password (SCRAM), so that the
# tests go through ~/.pgpass and the password callback as real sites do.
#
#   pg-cluster.sh start STATE_FILE   writes the folder and URL to STATE_FILE
#   pg-cluster.sh stop STATE_FILE    stops the server and removes the folder
set -euo pipefail
action=${1:?start or stop}
state=${2:?state file}
user=norvane
password=norvane-test-password
run_as=()
if [ "$(id -u)" -eq 0 ]; then
    run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi

stop() {
    [ -f "$state" ] || return 0
    local dir
    dir=$(sed -n 's/^dir=//p' "$state")
    local bin
    bin=$(sed -n 's/^bin=//p' "$state")
    if [ -n "$dir" ] && [ -d "$dir/data" ]; then
        (cd "$dir" && "${run_as[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1) || true
    fi
    [ -n "$dir" ] && rm -rf "$dir"
    rm -f "$state"
}

case $action in
start)
    stop
    bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
    if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
        echo "PostgreSQL is not installed (scripts/setup.sh --tests installs it)" >&2
        exit 1
    fi
    dir=$(mktemp -d /tmp/norvane-pg.XXXXXX)
    chmod 755 "$dir"
    mkdir "$dir/socket"
    printf '%s\n' "$password" >"$dir/pwfile"
    if [ ${#run_as[@]} -gt 0 ]; then
        chown nobody:nogroup "$dir" "$dir/socket" "$dir/pwfile"
    fi
    cd "$dir"
    "${run_as[@]}" "$bin/initdb" -D "$dir/data" -U "$user" --pwfile="$dir/pwfile" \
        --auth-local=scram-sha-256 --auth-host=reject --no-sync -E UTF8 --locale=C.UTF-8 \
        >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    rm -f "$dir/pwfile"
    "${run_as[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses='' -c unix_socket_directories='$dir/socket' -c fsync=off -c max_connections=50" \
        start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
    {
        echo "dir=$dir"
        echo "bin=$bin"
        echo "socket=$dir/socket"
        echo "user=$user"
        echo "password=$password"
    } >"$state"
    ;;
stop)
    stop
    ;;
*)
    echo "usage: $0 start|stop STATE_FILE" >&2
    exit 2
    ;;
esac
