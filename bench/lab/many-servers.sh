#!/usr/bin/env bash
# Samba servers answering at many addresses, for the share listing
# benchmark: INSTANCES namespaces of their own on the lab's bridge, each with
# one smbd that takes a /27 of MANY_SUBNET.0/24 as its own, the lab's client
# routed to each. One smbd for the whole /24 falls behind: it accepts from a
# listen queue of 50, and connections past it wait for a SYN retransmission.
# Needs the lab up (same NORVANE_LAB_PREFIX and NORVANE_LAB_DIR). Root only.
# `silent K` makes instance K's addresses drop every packet (a firewalled
# host: no answer, no refusal) until `answering K`.
#   bench/lab/many-servers.sh up | down | silent K | answering K
set -euo pipefail
PREFIX=${NORVANE_LAB_PREFIX:-nvlab}
LAB_DIR=${NORVANE_LAB_DIR:-/tmp/norvane-lab}
BRIDGE_NS=$PREFIX-net
CLIENT_NS=$PREFIX-client
MANY_SUBNET=10.213.80
# Instance K is namespace $PREFIX-manyK at 10.213.77.(ADDR_BASE+K) and serves
# MANY_SUBNET.(32K) to MANY_SUBNET.(32K+31).
INSTANCES=8
ADDR_BASE=80
BLOCK=32

down_instance() {
    local k=$1 dir=$LAB_DIR/many$1
    [ -f "$dir/pid/smbd.pid" ] && kill "$(cat "$dir/pid/smbd.pid")" 2>/dev/null || true
    ip -n "$CLIENT_NS" route del "$MANY_SUBNET.$((k * BLOCK))/27" 2>/dev/null || true
    ip netns del "$PREFIX-many$k" 2>/dev/null || true
    ip -n "$BRIDGE_NS" link del "many$k" 2>/dev/null || true
    rm -rf "$dir"
}

down() {
    for k in $(seq 0 $((INSTANCES - 1))); do
        down_instance "$k"
    done
}

up_instance() {
    local k=$1 dir=$LAB_DIR/many$1 ns=$PREFIX-many$1
    local addr=10.213.77.$((ADDR_BASE + k)) block=$MANY_SUBNET.$((k * BLOCK))/27
    local DIR=$dir
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
    ip netns add "$ns"
    ip -n "$BRIDGE_NS" link add "many$k" type veth peer name eth0 netns "$ns"
    ip -n "$BRIDGE_NS" link set "many$k" master norvane-lab-br up
    ip -n "$ns" addr add "$addr/24" dev eth0
    ip -n "$ns" link set eth0 up
    ip -n "$ns" link set lo up
    ip -n "$ns" route add local "$block" dev lo
    ip -n "$CLIENT_NS" route add "$block" via "$addr"
    ip netns exec "$ns" smbd -D -s "$DIR/smb.conf"
}

up() {
    down
    for k in $(seq 0 $((INSTANCES - 1))); do
        up_instance "$k"
    done
    for k in $(seq 0 $((INSTANCES - 1))); do
        local answered=
        for _ in $(seq 50); do
            if ip netns exec "$CLIENT_NS" bash -c \
                "exec 3<>/dev/tcp/$MANY_SUBNET.$((k * BLOCK + 1))/445" 2>/dev/null; then
                answered=yes
                break
            fi
            sleep 0.2
        done
        if [ -z "$answered" ]; then
            echo "many-servers: smbd $k does not answer" >&2
            return 1
        fi
    done
}

# Instance K's block dropped without a reply, or served again.
silent() {
    local block=$MANY_SUBNET.$(($1 * BLOCK))/27 ns=$PREFIX-many$1
    ip -n "$ns" route del local "$block" dev lo table local
    ip -n "$ns" route add blackhole "$block"
}

answering() {
    local block=$MANY_SUBNET.$(($1 * BLOCK))/27 ns=$PREFIX-many$1
    ip -n "$ns" route del blackhole "$block"
    ip -n "$ns" route add local "$block" dev lo
}

case ${1:-} in
up) up ;;
down) down ;;
silent) silent "${2:?instance}" ;;
answering) answering "${2:?instance}" ;;
*)
    echo "usage: many-servers.sh up | down | silent K | answering K" >&2
    exit 2
    ;;
esac
