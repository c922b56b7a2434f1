#!/usr/bin/env bash
# One Samba server answering at many addresses, for the share listing
# benchmark: a namespace of its own on the lab's bridge that takes every
# address of MANY_SUBNET.0/24 as its own, the lab's client routed to it.
# Needs the lab up (same NORVANE_LAB_PREFIX and NORVANE_LAB_DIR). Root only.
#   bench/lab/many-servers.sh up | down
set -euo pipefail
PREFIX=${NORVANE_LAB_PREFIX:-nvlab}
LAB_DIR=${NORVANE_LAB_DIR:-/tmp/norvane-lab}
NS=$PREFIX-many
BRIDGE_NS=$PREFIX-net
CLIENT_NS=$PREFIX-client
ADDR=10.213.77.98
MANY_SUBNET=10.213.80
DIR=$LAB_DIR/many

down() {
    [ -f "$DIR/pid/smbd.pid" ] && kill "$(cat "$DIR/pid/smbd.pid")" 2>/dev/null || true
    ip -n "$CLIENT_NS" route del "$MANY_SUBNET.0/24" 2>/dev/null || true
    ip netns del "$NS" 2>/dev/null || true
    ip -n "$BRIDGE_NS" link del many0 2>/dev/null || true
    rm -rf "$DIR"
}

up() {
    down
    mkdir -p "$DIR"/{state,lock,pid,cache,private,ncalrpc,log,share}
    cat >"$DIR/smb.conf" <<CONF
[global]
  workgroup = BENCHGROUP
  netbios name = BENCHSRV
  server role = standalone server
  server min protocol = NT1
  map to guest = Bad User
  guest account = nobody
  restrict anonymous = 0
  disable netbios = yes
  disable spoolss = yes
  load printers = no
  max smbd processes = 0
  state directory = $DIR/state
  lock directory = $DIR/lock
  pid directory = $DIR/pid
  cache directory = $DIR/cache
  private dir = $DIR/private
  ncalrpc dir = $DIR/ncalrpc
  log file = $DIR/log/%m.log
[bench]
  path = $DIR/share
  comment = Benchmark share
  guest ok = yes
CONF
    ip netns add "$NS"
    ip -n "$BRIDGE_NS" link add many0 type veth peer name eth0 netns "$NS"
    ip -n "$BRIDGE_NS" link set many0 master norvane-lab-br up
    ip -n "$NS" addr add "$ADDR/24" dev eth0
    ip -n "$NS" link set eth0 up
    ip -n "$NS" link set lo up
    ip -n "$NS" route add local "$MANY_SUBNET.0/24" dev lo
    ip -n "$CLIENT_NS" route add "$MANY_SUBNET.0/24" via "$ADDR"
    ip netns exec "$NS" smbd -D -s "$DIR/smb.conf"
    for _ in $(seq 50); do
        ip netns exec "$CLIENT_NS" bash -c "exec 3<>/dev/tcp/$MANY_SUBNET.1/445" 2>/dev/null && return 0
        sleep 0.2
    done
    echo "many-servers: smbd does not answer" >&2
    return 1
}

case ${1:-} in
up) up ;;
down) down ;;
*)
    echo "usage: many-servers.sh up | down" >&2
    exit 2
    ;;
esac
