#!/usr/bin/env bash
# The Samba test network: a bridge in a namespace of its own, Samba hosts in
# network namespaces joined to it by veth pairs, and a client namespace from
# which tests run. Everything lives in namespaces made here, on an address
# range used for nothing else; no address outside the lab is ever touched.
#
#   lab.sh up [small|large|modern|auth|domain]
#                             bring the lab up from nothing, wait for browsing
#   lab.sh down               stop every daemon of the lab, remove everything
#   lab.sh status             show hosts, daemons and what the client browses
#   lab.sh stop-host N        kill host N's daemons at once, as a power cut would
#   lab.sh stale-host N gone|muted
#                             power cut that leaves host N in the browse lists:
#                             its daemons killed, then its link down (gone: no
#                             neighbour answer) or every answer to the client
#                             dropped (muted: it still answers ARP)
#   lab.sh start-host N       bring host N's link and daemons back
#   lab.sh ghosts COUNT       COUNT computers the browse master lists that have
#                             gone (one host's names, announced, then link down)
#   lab.sh client-avahi on|off  run an Avahi daemon on the client's own D-Bus, or stop it
#   lab.sh second-client      a second client namespace (<prefix>-client2), as
#                             another site's scanner on the same network
#   lab.sh device wsd NAME GROUP | mdns HOSTNAME | flood COUNT | quiet | logons
#                             a device that claims a name or floods endpoints
#                             (see device()); logons lists who logged on to it
#
# Needs root, iproute2, smbd, nmbd, smbclient's tools, avahi-daemon,
# dbus-daemon and wsdd. The small lab is the one the tests expect; the large
# one (three workgroups, a dozen servers) is for trying the program by hand.
# Both add modern hosts: SMB2 and later only, NetBIOS switched off, announced
# by WS-Discovery alone. The modern lab has only those, so no browse master
# at all.
# The auth lab has one open server and one that refuses guests and
# anonymous share listing and takes the lab user (LAB_USER, its password
# LAB_USER_PASSWORD), as most offices' servers do.
# The domain lab has a Samba AD domain controller, a member server that
# takes domain log-ons alone (Kerberos among them) and an open server that
# keeps the domain's browse list; the lab user is a domain user there. It
# needs samba-tool, samba, winbindd, net, ldbadd and kinit as well.
# Beyond a router it has a second subnet with two more members, one with
# NetBIOS and one that speaks SMB2 and later only, a host with nothing but
# TCP port 22 open, and empty addresses. The client resolves names through
# the controller's DNS, which knows every member. The directory also holds
# computer accounts without a host: one plain, one disabled, one that last
# logged on long ago, and BENCH_COUNT more for the benchmark.
set -euo pipefail

# Another prefix and folder (NORVANE_LAB_PREFIX, NORVANE_LAB_DIR) let two
# labs run side by side, for example from two checkouts.
PREFIX=${NORVANE_LAB_PREFIX:-nvlab}
LAB_DIR=${NORVANE_LAB_DIR:-/tmp/norvane-lab}
BRIDGE_NS=$PREFIX-net
CLIENT_NS=$PREFIX-client
BRIDGE=norvane-lab-br
SUBNET=10.213.77
CLIENT_ADDR=$SUBNET.10
# Answers ARP but ignores echo requests and runs no daemon.
QUIET_NS=$PREFIX-quiet
QUIET_ADDR=$SUBNET.99
SECOND_CLIENT_NS=$PREFIX-client2
SECOND_CLIENT_ADDR=$SUBNET.11
BROWSE_DEADLINE_S=${NORVANE_LAB_BROWSE_DEADLINE:-150}
POLL_INTERVAL_S=2
NAME_DEADLINE_S=30

LAB_USER=labuser
LAB_USER_PASSWORD='Lab-User-Pass-7'
LAB_USER_ID=4711

# One line per host: index|name|workgroup|master|comment|shares|printer|access
#   shares:  name:comment,name:comment  (empty comment allowed, $ = hidden)
#   printer: name:comment, or empty for a server without printers
#   access:  guest (or empty): anyone lists and reads; user: only LAB_USER
small_hosts() {
    cat <<'EOF'
1|LABSRV1|LABGROUP1|yes|Lab server one|docs:Team documents,public:,secret$:Hidden share|laser:Laser printer
2|LABSRV2|LABGROUP1|no|Lab server two|data:Data store|
3|LABSRV3|LABGROUP2|yes|Lab server three|media:|inkjet:Colour inkjet
4|LABSRV4|LABGROUP2|no|Lab server four|archive:Old files|
EOF
}

# Hosts that announce their SMB service by multicast DNS through an Avahi
# daemon of their own, in a workgroup no browse master lists. One line per
# host: index|Avahi host name|NetBIOS name|workgroup|shares, the NetBIOS
# name empty for a host without NetBIOS.
mdns_hosts() {
    cat <<'EOF'
21|labmdns1-studio|LABMDNS1|MDNSGROUP|media:Studio media
22|labnas-no-netbios||MDNSGROUP|backup:Backups
EOF
}
# A browse-list host that announces itself by multicast DNS as well.
MDNS_BROWSE_HOST=1
MDNS_DEADLINE_S=30

auth_hosts() {
    cat <<'EOF'
1|LABOPEN|LABAUTH|yes|Open server|pub:Public files||guest
2|LABLOCK|LABAUTH|no|Locked server|private:Members only,team:||user
EOF
}

# The domain lab's open server, its browse master; the controller and the
# member come from up_domain.
domain_hosts() {
    cat <<'EOF'
1|KRBOPEN|KRBLAB|yes|Open server|pub:Public files||guest
EOF
}
DOMAIN_REALM=KRB.LAB
DOMAIN_WORKGROUP=KRBLAB
DC_INDEX=2
DC_NAME=KRBDC
MEMBER_INDEX=3
MEMBER_NAME=KRBMEMBER
MEMBER_SHARES='projects:Project files,reports:'
DOMAIN_ADMIN_PASSWORD='Lab-Admin-Pass-3'
DOMAIN_DEADLINE_S=${NORVANE_LAB_DOMAIN_DEADLINE:-240}
# The router between the domain lab's two subnets (.1 on each); subnet B
# is $SUBNET_B.0/24, its hosts numbered 31 to 39 at $SUBNET_B.101 to .109.
# Only .101 to .103 are taken; the other addresses stay empty.
ROUTER_NS_SUFFIX=router
SUBNET_B=10.213.79
ROUTER_ADDR=$SUBNET.1
ROUTER_ADDR_B=$SUBNET_B.1
BRIDGE_B=norvane-lab-brb
# Domain members beyond the router: index|name|kind|shares
#   kind: netbios (SMB1 and NetBIOS too) or modern (SMB2 and later, no NetBIOS)
branch_members() {
    cat <<'EOF2'
31|KRBBRANCH|netbios|branch:Branch office files
32|KRBMODERN|modern|tools:Modern tools
EOF2
}
# Answers on TCP port 22 alone.
PORT22_INDEX=33
# Fake SMB servers that misbehave, one way per address, on subnet B from
# .120 on (smb-hostile.py), brought up by "lab.sh hostile" on demand.
HOSTILE_NS_SUFFIX=hostile
HOSTILE_BEHAVIOURS="truncated stall silent oversized lying looping impostor"
# A /20 on subnet B's link for the sweep benchmark, mostly empty: the router
# holds an address in it and the client routes it through the router.
BENCH_NET=10.213.80
BENCH_PREFIX=20
# The /16 of the wide sweep's benchmark (bench-net wide), behind the router
# like the /20.
BENCH_WIDE_NET=10.214.0.0/16
# Computer accounts with no host behind them, in OU=Branch, and the
# benchmark's accounts in OU=Bench.
GHOST_ACCOUNT=KRBGHOST
DISABLED_ACCOUNT=KRBDISABLED
STALE_ACCOUNT=KRBSTALE
# 2020-01-01 as the directory counts time (100 ns since 1601).
STALE_LOGON=132223104000000000
BENCH_COUNT=${NORVANE_LAB_BENCH_COUNT:-10000}

large_hosts() {
    local i group master printer
    for i in $(seq 1 12); do
        group=LABGROUP$(((i - 1) / 4 + 1))
        master=no
        [ $(((i - 1) % 4)) -eq 0 ] && master=yes
        printer=
        [ $((i % 3)) -ne 0 ] && printer="print$i:Printer of server $i"
        echo "$i|LABSRV$i|$group|$master|Lab server $i|docs$i:Documents of server $i,pub$i:,hide$i\$:Hidden|$printer"
    done
}

# Modern hosts, numbered after the NetBIOS ones: index|name|membership|comment|shares
#   membership: workgroup:NAME or domain:NAME, as WS-Discovery announces it
modern_hosts() {
    local base=$1
    cat <<EOF
$((base + 1))|MODERN1|workgroup:LABGROUP1|Modern host one|pub:Public files,private\$:Hidden
$((base + 2))|MODERN2|workgroup:WSDGROUP|Modern host two|tools:Tool box
$((base + 3))|MODERN3|domain:LAB.EXAMPLE|Modern host three|
EOF
}

host_ns() { echo "$PREFIX-h$1"; }
host_addr() {
    if [ "$1" -gt 30 ] && [ "$1" -lt 40 ]; then
        echo "$SUBNET_B.$((100 + $1 - 30))"
    else
        echo "$SUBNET.$((100 + $1))"
    fi
}
host_mac() { printf '02:4e:56:00:00:%02x' "$1"; }

die() {
    echo "lab: $*" >&2
    exit 1
}

need_root() {
    [ "$(id -u)" -eq 0 ] || die "must run as root"
    for tool in ip smbd nmbd smbtree nmblookup avahi-daemon dbus-daemon wsdd; do
        command -v "$tool" >/dev/null || die "$tool is missing"
    done
}

# Processes inside the lab's namespaces: all of them were started here.
lab_namespaces() { ip netns list 2>/dev/null | awk '{print $1}' | grep "^$PREFIX-" || true; }

# Sends a signal to every process in one of the lab's namespaces.
signal_namespace() {
    local signal=$1 ns=$2 pid
    for pid in $(ip netns pids "$ns" 2>/dev/null || true); do
        kill "-$signal" "$pid" 2>/dev/null || true
    done
}

teardown() {
    local ns
    for ns in $(lab_namespaces); do
        signal_namespace TERM "$ns"
    done
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        local left=
        for ns in $(lab_namespaces); do
            [ -n "$(ip netns pids "$ns" 2>/dev/null || true)" ] && left=1
        done
        [ -z "$left" ] && break
        sleep 0.3
    done
    for ns in $(lab_namespaces); do
        signal_namespace KILL "$ns"
        ip netns del "$ns" 2>/dev/null || true
        rm -rf "/etc/netns/$ns"
    done
    rm -rf "/etc/netns/$CLIENT_NS" "/etc/netns/$PREFIX-h"*
    rmdir /etc/netns 2>/dev/null || true
    # A daemon whose namespace was gone before it ended is found by the
    # lab files it runs from.
    pkill -KILL -f -- "$LAB_DIR/" 2>/dev/null || true
    rm -rf "$LAB_DIR"
}

teardown_on_failure() {
    local status=$?
    [ $status -ne 0 ] && teardown
    exit $status
}

# The read-only [share] sections of SHARES (name:comment,name:comment; a
# name ending in $ is hidden), each with a folder of its own under
# DIR/shares; every further argument is a line added to each section.
share_sections() {
    local dir=$1 shares=$2 entry share share_comment line
    shift 2
    local -a entries
    IFS=',' read -ra entries <<<"$shares"
    for entry in "${entries[@]}"; do
        share=${entry%%:*}
        share_comment=${entry#*:}
        mkdir -p "$dir/shares/${share%\$}"
        echo "[$share]"
        echo "  path = $dir/shares/${share%\$}"
        [ -n "$share_comment" ] && echo "  comment = $share_comment"
        for line in "$@"; do
            echo "  $line"
        done
        echo "  read only = yes"
    done
}

write_host_conf() {
    local index=$1 name=$2 group=$3 master=$4 comment=$5 shares=$6 printer=$7 access=${8:-guest}
    local dir=$LAB_DIR/h$index conf=$LAB_DIR/h$index/smb.conf
    local guest_ok=yes restrict_anonymous=0 map_to_guest="Bad User"
    if [ "$access" = user ]; then
        guest_ok=no
        restrict_anonymous=2
        map_to_guest=Never
    fi
    mkdir -p "$dir"/{state,lock,pid,cache,private,log,ncalrpc,spool,shares}
    local oslevel=20 preferred=no
    if [ "$master" = yes ]; then
        oslevel=65
        preferred=yes
    fi
    {
        echo "[global]"
        echo "  workgroup = $group"
        echo "  netbios name = $name"
        echo "  server string = $comment"
        echo "  interfaces = $(host_addr "$index")/24"
        echo "  bind interfaces only = yes"
        echo "  server role = standalone server"
        echo "  server min protocol = NT1"
        echo "  lanman auth = yes"
        echo "  ntlm auth = yes"
        echo "  map to guest = $map_to_guest"
        echo "  guest account = nobody"
        echo "  restrict anonymous = $restrict_anonymous"
        # Every log-on, taken or refused, in the host's log.
        echo "  log level = 1 auth_audit:3"
        echo "  local master = yes"
        echo "  preferred master = $preferred"
        echo "  os level = $oslevel"
        echo "  domain master = no"
        echo "  wins support = no"
        echo "  dns proxy = no"
        echo "  name resolve order = bcast"
        echo "  state directory = $dir/state"
        echo "  lock directory = $dir/lock"
        echo "  pid directory = $dir/pid"
        echo "  cache directory = $dir/cache"
        echo "  private dir = $dir/private"
        echo "  ncalrpc dir = $dir/ncalrpc"
        echo "  log file = $dir/log/%m.log"
        echo "  max log size = 1000"
        echo "  disable spoolss = yes"
        echo "  disable netbios = no"
        echo "  smb ports = 445 139"
        if [ -n "$printer" ]; then
            echo "  load printers = yes"
            echo "  printing = bsd"
            echo "  printcap name = $dir/printcap"
        else
            echo "  load printers = no"
            echo "  printing = bsd"
            echo "  printcap name = /dev/null"
        fi
        if [ "$access" = user ]; then
            share_sections "$dir" "$shares" "guest ok = $guest_ok" "valid users = $LAB_USER"
        else
            share_sections "$dir" "$shares" "guest ok = $guest_ok"
        fi
        if [ -n "$printer" ]; then
            local share share_comment
            share=${printer%%:*}
            share_comment=${printer#*:}
            echo "$share:" >"$dir/printcap"
            echo "[$share]"
            echo "  path = $dir/spool"
            echo "  printable = yes"
            echo "  printer name = $share"
            [ -n "$share_comment" ] && echo "  comment = $share_comment"
            echo "  guest ok = yes"
        fi
    } >"$conf"
}

# A server that speaks SMB2 and later only, with NetBIOS switched off.
write_modern_conf() {
    local index=$1 name=$2 membership=$3 comment=$4 shares=$5
    local dir=$LAB_DIR/h$index
    mkdir -p "$dir"/{state,lock,pid,cache,private,log,ncalrpc,shares}
    {
        echo "[global]"
        echo "  workgroup = ${membership#*:}"
        echo "  netbios name = $name"
        echo "  server string = $comment"
        echo "  interfaces = $(host_addr "$index")/24"
        echo "  bind interfaces only = yes"
        echo "  server role = standalone server"
        echo "  server min protocol = SMB2_02"
        echo "  disable netbios = yes"
        echo "  smb ports = 445"
        echo "  map to guest = Bad User"
        echo "  guest account = nobody"
        echo "  restrict anonymous = 0"
        echo "  state directory = $dir/state"
        echo "  lock directory = $dir/lock"
        echo "  pid directory = $dir/pid"
        echo "  cache directory = $dir/cache"
        echo "  private dir = $dir/private"
        echo "  ncalrpc dir = $dir/ncalrpc"
        echo "  log file = $dir/log/%m.log"
        echo "  max log size = 1000"
        echo "  load printers = no"
        echo "  printing = bsd"
        echo "  printcap name = /dev/null"
        echo "  disable spoolss = yes"
        share_sections "$dir" "$shares" "guest ok = yes"
    } >"$dir/smb.conf"
}

write_client_conf() {
    mkdir -p "$LAB_DIR/client"/{state,lock,cache,private}
    cat >"$LAB_DIR/client/smb.conf" <<EOF
[global]
  workgroup = LABGROUP1
  netbios name = LABCLIENT
  interfaces = $CLIENT_ADDR/24
  client min protocol = NT1
  client max protocol = NT1
  name resolve order = bcast
  state directory = $LAB_DIR/client/state
  lock directory = $LAB_DIR/client/lock
  cache directory = $LAB_DIR/client/cache
  private dir = $LAB_DIR/client/private
EOF
    # Inside the client namespace the resolver sees only the lab: no name
    # server that could be reached, no host entries but loopback.
    mkdir -p "/etc/netns/$CLIENT_NS"
    echo "nameserver 127.0.0.1" >"/etc/netns/$CLIENT_NS/resolv.conf"
    echo "options timeout:1 attempts:1" >>"/etc/netns/$CLIENT_NS/resolv.conf"
    printf '127.0.0.1 localhost\n' >"/etc/netns/$CLIENT_NS/hosts"
}

# The Avahi configuration of namespace `ns`, which `ip netns exec` lays over
# /etc/avahi: the given host name, IPv4 on eth0 only, and either a static
# SMB service with D-Bus off or, for the client, D-Bus on and nothing
# published.
write_avahi_conf() {
    local ns=$1 host=$2 role=$3 dir=/etc/netns/$1/avahi
    mkdir -p "$dir/services"
    {
        echo "[server]"
        echo "host-name=$host"
        echo "domain-name=local"
        echo "use-ipv4=yes"
        echo "use-ipv6=no"
        echo "allow-interfaces=eth0"
        echo "enable-dbus=$([ "$role" = client ] && echo yes || echo no)"
        echo "[wide-area]"
        echo "enable-wide-area=no"
        echo "[publish]"
        echo "publish-hinfo=no"
        echo "publish-workstation=no"
        [ "$role" = client ] && echo "disable-publishing=yes"
    } >"$dir/avahi-daemon.conf"
    [ "$role" = client ] && return 0
    cat >"$dir/services/smb.service" <<EOF
<?xml version="1.0" standalone='no'?>
<!DOCTYPE service-group SYSTEM "avahi-service.dtd">
<service-group>
  <name>$host files</name>
  <service><type>_smb._tcp</type><port>445</port></service>
</service-group>
EOF
}

# Starts Avahi in `ns` with a /run of its own (its pid file and socket live
# there), logging to `log`; prints its pid.
start_avahi() {
    local ns=$1 log=$2
    setsid ip netns exec "$ns" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$LAB_DIR/client/dbus/socket" \
        sh -c 'mount -t tmpfs -o mode=755 tmpfs /run && mkdir /run/avahi-daemon &&
               exec avahi-daemon --no-drop-root --no-chroot --no-rlimits' \
        </dev/null >"$log" 2>&1 &
    echo $!
}

# Waits until an Avahi log shows `line`.
wait_for_avahi() {
    local log=$1 line=$2 deadline=$((SECONDS + MDNS_DEADLINE_S))
    until grep -q "$line" "$log" 2>/dev/null; do
        [ $SECONDS -ge $deadline ] && die "Avahi did not report '$line' within ${MDNS_DEADLINE_S}s (see $log)"
        sleep 0.2
    done
}

# The hosts that announce themselves by multicast DNS: their namespaces,
# Samba (with or without NetBIOS) and Avahi, and Avahi on the browse-list
# host that announces itself too.
up_mdns_hosts() {
    local index avahi_name netbios_name group shares ns conf
    while IFS='|' read -r index avahi_name netbios_name group shares; do
        ns=$(host_ns "$index")
        ip netns add "$ns"
        attach "$ns" "host$index" "$(host_addr "$index")" "$(host_mac "$index")"
        write_host_conf "$index" "${netbios_name:-$(echo "${avahi_name:0:15}" | tr a-z A-Z)}" \
            "$group" no "" "$shares" ""
        conf=$LAB_DIR/h$index/smb.conf
        # No browse master ever lists these hosts; one without NetBIOS
        # serves SMB on port 445 alone.
        sed -i 's/^  local master = yes/  local master = no/' "$conf"
        if [ -z "$netbios_name" ]; then
            sed -i -e 's/^  disable netbios = no/  disable netbios = yes/' \
                -e 's/^  smb ports = 445 139/  smb ports = 445/' "$conf"
        fi
        write_avahi_conf "$ns" "$avahi_name" host
        start_host "$index"
    done < <(mdns_hosts)
    write_avahi_conf "$(host_ns "$MDNS_BROWSE_HOST")" "labsrv$MDNS_BROWSE_HOST" host
    start_host_avahi "$MDNS_BROWSE_HOST"
    for index in $(mdns_hosts | cut -d'|' -f1) $MDNS_BROWSE_HOST; do
        wait_for_avahi "$LAB_DIR/h$index/avahi.log" "successfully established"
    done
}

start_host_avahi() {
    local ns
    ns=$(host_ns "$1")
    [ -d "/etc/netns/$ns/avahi" ] || return 0
    rm -f "$LAB_DIR/h$1/avahi.log"
    start_avahi "$ns" "$LAB_DIR/h$1/avahi.log" >/dev/null
}

# The client's own system bus, which its Avahi daemon and the tests use
# (DBUS_SYSTEM_BUS_ADDRESS); nothing of the machine's bus is touched.
start_client_bus() {
    local dir=$LAB_DIR/client/dbus deadline=$((SECONDS + MDNS_DEADLINE_S))
    mkdir -p "$dir"
    cat >"$dir/system.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$dir/socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
EOF
    setsid ip netns exec "$CLIENT_NS" dbus-daemon --config-file="$dir/system.conf" --nofork \
        --nopidfile </dev/null >"$dir/log" 2>&1 &
    until [ -S "$dir/socket" ]; do
        [ $SECONDS -ge $deadline ] && die "the client's D-Bus did not start"
        sleep 0.1
    done
}

client_avahi() {
    local pidfile=$LAB_DIR/client/avahi.pid log=$LAB_DIR/client/avahi.log pid
    case $1 in
    on)
        [ -s "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null && return 0
        rm -f "$log"
        start_avahi "$CLIENT_NS" "$log" >"$pidfile"
        wait_for_avahi "$log" "Server startup complete"
        ;;
    off)
        [ -s "$pidfile" ] || return 0
        pid=$(cat "$pidfile")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        rm -f "$pidfile"
        ;;
    *) die "client-avahi on or off" ;;
    esac
}

# The lab user on a host that takes only it: a Unix account that exists
# inside the host's namespace alone (ip netns exec lays /etc/netns/NS over
# /etc), and its Samba password, given on standard input.
add_lab_user() {
    local index=$1 ns
    ns=$(host_ns "$index")
    mkdir -p "/etc/netns/$ns"
    { cat /etc/passwd; echo "$LAB_USER:x:$LAB_USER_ID:$LAB_USER_ID::/nonexistent:/usr/sbin/nologin"; } \
        >"/etc/netns/$ns/passwd"
    { cat /etc/group; echo "$LAB_USER:x:$LAB_USER_ID:"; } >"/etc/netns/$ns/group"
    printf '%s\n%s\n' "$LAB_USER_PASSWORD" "$LAB_USER_PASSWORD" |
        ip netns exec "$ns" smbpasswd -c "$LAB_DIR/h$index/smb.conf" -s -a "$LAB_USER" >/dev/null
}

# Runs the script file `script` in host N's namespace with Samba's
# compiled-in places made private to it: a fresh /run, and the host's own
# folders bound over its configuration, state, cache and log folders.
# Daemons it starts keep that view, so that no socket, database or
# configuration is shared with the machine or another namespace. The lab's
# Kerberos configuration is the one Kerberos reads there.
in_domain_host() {
    local index=$1 script=$2 dir=$LAB_DIR/h$1 place
    mkdir -p "$dir"/{etc,lib,cache,log}
    for place in /etc/samba /var/lib/samba /var/cache/samba /var/log/samba; do
        mkdir -p "$place"
    done
    ip netns exec "$(host_ns "$index")" env KRB5_CONFIG="$LAB_DIR/krb5.conf" sh -c '
        set -e
        mount -t tmpfs -o mode=755 tmpfs /run
        mkdir -p /run/samba
        mount --bind "$1/etc" /etc/samba
        mount --bind "$1/lib" /var/lib/samba
        mount --bind "$1/cache" /var/cache/samba
        mount --bind "$1/log" /var/log/samba
        . "$2"' sh "$dir" "$script"
}

# Kerberos for the domain, as the member and the client read it: the
# controller's KDC by address, no DNS look-up of realms or host names.
write_domain_krb5_conf() {
    cat >"$LAB_DIR/krb5.conf" <<EOF
[libdefaults]
  default_realm = $DOMAIN_REALM
  dns_lookup_realm = false
  dns_lookup_kdc = false
  dns_canonicalize_hostname = false
  rdns = false
[realms]
  $DOMAIN_REALM = {
    kdc = $(host_addr "$DC_INDEX")
    admin_server = $(host_addr "$DC_INDEX")
  }
[domain_realm]
  .$(echo "$DOMAIN_REALM" | tr A-Z a-z) = $DOMAIN_REALM
EOF
}

# The controller: a new domain with its own DNS and no NetBIOS that takes
# LDAP binds only when signed (and sealed), the administrator's password and
# the lab user as a domain user (their passwords on standard input), the
# members' names in its DNS, the accounts of directory.ldif, then the daemon.
start_domain_controller() {
    local dir=$LAB_DIR/h$DC_INDEX addr ns dns_domain members index name
    addr=$(host_addr "$DC_INDEX")
    ns=$(host_ns "$DC_INDEX")
    dns_domain=$(echo "$DOMAIN_REALM" | tr A-Z a-z)
    mkdir -p "/etc/netns/$ns" "$dir"
    echo "nameserver $addr" >"/etc/netns/$ns/resolv.conf"
    members="$(echo "$MEMBER_NAME" | tr A-Z a-z)=$(host_addr "$MEMBER_INDEX")"
    while IFS='|' read -r index name _; do
        members="$members $(echo "$name" | tr A-Z a-z)=$(host_addr "$index")"
    done < <(branch_members)
    write_directory_ldif "$dir/directory.ldif"
    cat >"$dir.start" <<EOF
samba-tool domain provision --quiet --realm=$DOMAIN_REALM --domain=$DOMAIN_WORKGROUP \\
    --server-role=dc --dns-backend=SAMBA_INTERNAL --host-name=$(echo "$DC_NAME" | tr A-Z a-z) \\
    --host-ip=$addr --option='interfaces = $addr/24' --option='bind interfaces only = yes' \\
    --option='ldap server require strong auth = yes' \\
    --option='disable netbios = yes' --option='log level = 1 auth_audit:3' >/var/log/samba/provision.log 2>&1
# Provisioning makes the resolver's name server, the controller itself, its
# forwarder: every name it does not know would go round in circles.
sed -i '/dns forwarder/d' /etc/samba/smb.conf
/usr/bin/python3 -c '
import sys
from samba.auth import system_session
from samba.param import LoadParm
from samba.provision.sambadns import add_host_record
from samba.samdb import SamDB
lp = LoadParm()
lp.load_default()
samdb = SamDB(url=lp.samdb_url(), session_info=system_session(), lp=lp)
admin, user = sys.stdin.read().split("\\n")[:2]
samdb.setpassword("(sAMAccountName=Administrator)", admin)
samdb.newuser(sys.argv[1], user)
zone = "DC=%s,CN=MicrosoftDNS,DC=DomainDnsZones,%s" % (sys.argv[2], samdb.domain_dn())
for member in sys.argv[3:]:
    name, address = member.split("=")
    add_host_record(samdb, zone, "DC=" + name, address, None)' $LAB_USER $dns_domain $members
# Batch mode: one transaction without one inner transaction per entry,
# several times faster for ten thousand entries.
ldbadd -o batch_mode:1 -H /var/lib/samba/private/sam.ldb $dir/directory.ldif >/var/log/samba/ldbadd.log 2>&1
samba -D
EOF
    printf '%s\n' "$DOMAIN_ADMIN_PASSWORD" "$LAB_USER_PASSWORD" | in_domain_host "$DC_INDEX" "$dir.start"
}

# The directory's computer accounts without a host: in OU=Branch one
# plain, one disabled and one whose last log-on is years old; in OU=Bench
# BENCH_COUNT more.
write_directory_ldif() {
    local dns_domain
    dns_domain=$(echo "$DOMAIN_REALM" | tr A-Z a-z)
    python3 - "$1" "DC=${dns_domain//./,DC=}" "$dns_domain" "$BENCH_COUNT" "$GHOST_ACCOUNT" \
        "$DISABLED_ACCOUNT" "$STALE_ACCOUNT" "$STALE_LOGON" <<'EOF'
import sys
path, base, dns_domain, count, ghost, disabled, stale, stale_logon = sys.argv[1:]
def computer(name, ou, description, control=4096, extra=()):
    lines = ["dn: CN=%s,%s,%s" % (name, ou, base), "objectClass: computer",
             "sAMAccountName: %s$" % name, "userAccountControl: %d" % control,
             "dNSHostName: %s.%s" % (name.lower(), dns_domain), "description: %s" % description,
             "operatingSystem: Windows 11 Pro", "operatingSystemVersion: 10.0 (22631)"]
    return "\n".join(lines + list(extra)) + "\n\n"
with open(path, "w") as out:
    for ou in ("OU=Branch", "OU=Bench"):
        out.write("dn: %s,%s\nobjectClass: organizationalUnit\n\n" % (ou, base))
    out.write(computer(ghost, "OU=Branch", "No host behind it"))
    out.write(computer(disabled, "OU=Branch", "Disabled account", 4096 | 2))
    out.write(computer(stale, "OU=Branch", "Not seen for years",
                       extra=["lastLogonTimestamp: " + stale_logon]))
    for i in range(1, int(count) + 1):
        out.write(computer("BENCH%05d" % i, "OU=Bench", "Benchmark computer %d" % i))
EOF
}

# True once the controller answers Kerberos, LDAP, SMB and DNS.
domain_controller_ready() {
    local listening
    listening=$(ip netns exec "$(host_ns "$DC_INDEX")" ss -Hltn 2>/dev/null || true)
    grep -q ':88 ' <<<"$listening" && grep -q ':389 ' <<<"$listening" &&
        grep -q ':445 ' <<<"$listening" && grep -q ':53 ' <<<"$listening"
}

# The member: a file server of the domain that takes domain log-ons alone
# (no guest, no anonymous share listing), joined by the administrator
# (the password through the environment, never an argument); the lab user
# is a Unix account there, as a domain member maps it. Its workgroup's
# browse master is the open server. A modern member (KIND modern) speaks
# SMB2 and later only and has no NetBIOS.
start_domain_member() {
    local index=$1 name=$2 shares=$3 kind=${4:-netbios}
    local dir=$LAB_DIR/h$index addr ns
    addr=$(host_addr "$index")
    ns=$(host_ns "$index")
    mkdir -p "$dir"/{etc,lib/private,shares} "/etc/netns/$ns"
    echo "nameserver $(host_addr "$DC_INDEX")" >"/etc/netns/$ns/resolv.conf"
    { cat /etc/passwd; echo "$LAB_USER:x:$LAB_USER_ID:$LAB_USER_ID::/nonexistent:/usr/sbin/nologin"; } \
        >"/etc/netns/$ns/passwd"
    { cat /etc/group; echo "$LAB_USER:x:$LAB_USER_ID:"; } >"/etc/netns/$ns/group"
    {
        echo "[global]"
        echo "  workgroup = $DOMAIN_WORKGROUP"
        echo "  realm = $DOMAIN_REALM"
        echo "  security = ads"
        echo "  netbios name = $name"
        echo "  server string = Domain member"
        echo "  interfaces = $addr/24"
        echo "  bind interfaces only = yes"
        if [ "$kind" = modern ]; then
            echo "  server min protocol = SMB2_02"
            echo "  disable netbios = yes"
            echo "  smb ports = 445"
        else
            echo "  server min protocol = NT1"
        fi
        echo "  map to guest = Never"
        echo "  restrict anonymous = 2"
        # Every log-on, the taken ones with how (Kerberos or not), in its log.
        echo "  log level = 1 auth_audit:5"
        echo "  log file = /var/log/samba/%m.log"
        echo "  local master = no"
        echo "  domain master = no"
        echo "  preferred master = no"
        echo "  wins support = no"
        echo "  dns proxy = no"
        echo "  idmap config * : backend = tdb"
        echo "  idmap config * : range = 100000-199999"
        # Domain accounts are the Unix accounts of the same name.
        echo "  idmap config $DOMAIN_WORKGROUP : backend = nss"
        echo "  idmap config $DOMAIN_WORKGROUP : range = 1000-99999"
        echo "  load printers = no"
        echo "  printing = bsd"
        echo "  printcap name = /dev/null"
        echo "  disable spoolss = yes"
        share_sections "$dir" "$shares"
    } >"$dir/etc/smb.conf"
    # The controller's DNS holds the members' names already.
    cat >"$dir.start" <<'EOF'
PASSWD=$(cat) net ads join --no-dns-updates -U Administrator >/var/log/samba/join.log 2>&1
winbindd -D
smbd -D
EOF
    [ "$kind" = modern ] || echo "nmbd -D" >>"$dir.start"
    printf '%s' "$DOMAIN_ADMIN_PASSWORD" | in_domain_host "$index" "$dir.start" ||
        die "the domain member $name did not start (see $dir/log)"
}

# The domain lab's controller and member, once the controller serves.
up_domain() {
    local deadline=$((SECONDS + DOMAIN_DEADLINE_S))
    until domain_controller_ready; do
        [ $SECONDS -ge $deadline ] && die "the domain controller did not serve within ${DOMAIN_DEADLINE_S}s"
        sleep 0.5
    done
    local -a joins=()
    start_domain_member "$MEMBER_INDEX" "$MEMBER_NAME" "$MEMBER_SHARES" &
    joins+=($!)
    while IFS='|' read -r index name kind shares; do
        start_domain_member "$index" "$name" "$shares" "$kind" &
        joins+=($!)
    done < <(branch_members)
    for join in "${joins[@]}"; do
        wait "$join" || die "a domain member did not start"
    done
    while IFS='|' read -r index name _; do
        until ip netns exec "$(host_ns "$index")" ss -Hltn 2>/dev/null | grep -q ':445 '; do
            [ $SECONDS -ge $deadline ] && die "$name did not serve within ${DOMAIN_DEADLINE_S}s"
            sleep 0.2
        done
    done < <(branch_members)
}

# A veth pair from the bridge namespace into `ns`, named eth0 there (or
# DEVICE), on BRIDGE (subnet A's unless given).
attach() {
    local ns=$1 port=$2 addr=$3 mac=$4 device=${5:-eth0} bridge=${6:-$BRIDGE}
    ip -n "$BRIDGE_NS" link add "$port" type veth peer name "$device" netns "$ns"
    ip -n "$BRIDGE_NS" link set "$port" master "$bridge" up
    ip -n "$ns" link set "$device" address "$mac"
    ip -n "$ns" addr add "$addr/24" brd + dev "$device"
    ip -n "$ns" link set "$device" up
    ip -n "$ns" link set lo up
    # WS-Discovery multicasts; without a default route it needs its own.
    [ "$device" = eth0 ] && ip -n "$ns" route add 224.0.0.0/4 dev eth0
    return 0
}

# Subnet B behind a router that forwards between it and subnet A; the
# hosts of subnet A given as arguments (namespaces) route to it.
up_router() {
    local router=$PREFIX-$ROUTER_NS_SUFFIX ns
    ip -n "$BRIDGE_NS" link add "$BRIDGE_B" type bridge mcast_snooping 0
    ip -n "$BRIDGE_NS" link set "$BRIDGE_B" up
    ip netns add "$router"
    attach "$router" routera "$ROUTER_ADDR" 02:4e:56:00:01:01
    attach "$router" routerb "$ROUTER_ADDR_B" 02:4e:56:00:01:02 eth1 "$BRIDGE_B"
    ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1
    for ns in "$@"; do
        ip -n "$ns" route add "$SUBNET_B.0/24" via "$ROUTER_ADDR"
    done
}

# A host on subnet B, its default route through the router.
attach_branch() {
    local index=$1 ns
    ns=$(host_ns "$index")
    ip netns add "$ns"
    attach "$ns" "host$index" "$(host_addr "$index")" "$(host_mac "$index")" eth0 "$BRIDGE_B"
    ip -n "$ns" route add default via "$ROUTER_ADDR_B"
}

# The host with only TCP port 22 open: it accepts, greets and closes.
start_port22_host() {
    local ns
    ns=$(host_ns "$PORT22_INDEX")
    attach_branch "$PORT22_INDEX"
    setsid ip netns exec "$ns" python3 -c '
import socket
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("0.0.0.0", 22))
server.listen(16)
while True:
    peer, _ = server.accept()
    try:
        peer.sendall(b"SSH-2.0-LabHost\r\n")
    except OSError:
        pass
    peer.close()' </dev/null >/dev/null 2>&1 &
}

# The hostile servers up (afresh, their connection log
# $LAB_DIR/hostile.log emptied) or down.
hostile() {
    local ns=$PREFIX-$HOSTILE_NS_SUFFIX last=119 behaviour
    local -a behaviours=()
    if [ -e "/run/netns/$ns" ]; then
        signal_namespace KILL "$ns"
        ip netns del "$ns"
    fi
    [ "${1:-up}" = down ] && return 0
    [ -e "/run/netns/$PREFIX-$ROUTER_NS_SUFFIX" ] || die "hostile servers need the domain lab"
    ip netns add "$ns"
    attach "$ns" hostile0 "$SUBNET_B.$((last + 1))" 02:4e:56:00:02:01 eth0 "$BRIDGE_B"
    for behaviour in $HOSTILE_BEHAVIOURS; do
        last=$((last + 1))
        [ $last -gt 120 ] && ip -n "$ns" addr add "$SUBNET_B.$last/24" dev eth0
        behaviours+=("$SUBNET_B.$last=$behaviour")
    done
    ip -n "$ns" route add default via "$ROUTER_ADDR_B"
    : >"$LAB_DIR/hostile.log"
    setsid ip netns exec "$ns" python3 "$(dirname "$0")/smb-hostile.py" \
        "$(dirname "$0")/../codecs/fixtures" "$LAB_DIR/hostile.log" "${behaviours[@]}" \
        </dev/null >"$LAB_DIR/hostile.out" 2>&1 &
    wait_for_port "$ns" 445
}

# The benchmark's /20 beside subnet B. The router asks ARP for each of its
# 4,094 addresses, each unanswered request kept about 3 s: more than the
# neighbour table's default limit of 1,024 entries, which is raised.
bench_net() {
    local router=$PREFIX-$ROUTER_NS_SUFFIX net="$BENCH_NET.0/$BENCH_PREFIX"
    local router_addr="$BENCH_NET.1/$BENCH_PREFIX"
    if [ "${1:-}" = wide ]; then
        net=$BENCH_WIDE_NET
        router_addr=${BENCH_WIDE_NET%.0/*}.1/${BENCH_WIDE_NET#*/}
    fi
    [ -e "/run/netns/$router" ] || die "the benchmark's network needs the domain lab"
    ip -n "$CLIENT_NS" route show | grep -q "^$net " && return 0
    ip -n "$router" addr replace "$router_addr" dev eth1
    # Kernels that count neighbour entries of every namespace together
    # keep the limits in the first namespace alone; they are only raised.
    local key
    for key in gc_thresh2:8192 gc_thresh3:16384; do
        [ "$(cat "/proc/sys/net/ipv4/neigh/default/${key%:*}")" -ge "${key#*:}" ] ||
            sysctl -qw "net.ipv4.neigh.default.${key%:*}=${key#*:}"
    done
    ip -n "$CLIENT_NS" route add "$net" via "$ROUTER_ADDR"
    echo "lab: sweep $net from $CLIENT_NS"
}

client_smbtree() {
    ip netns exec "$CLIENT_NS" timeout 20 smbtree -S -U 'guest%' -s "$LAB_DIR/client/smb.conf" 2>/dev/null || true
}

# Polls until every workgroup lists every server of the lab, or the deadline.
wait_for_browsing() {
    local hosts=$1 deadline=$((SECONDS + BROWSE_DEADLINE_S)) tree missing
    while :; do
        tree=$(client_smbtree)
        missing=
        while IFS='|' read -r index name group _; do
            [ -z "$index" ] && continue
            grep -qx "$group" <<<"$tree" || missing="$missing $group"
            grep -q "^[[:space:]]*\\\\\\\\${name}[[:space:]]" <<<"$tree" || missing="$missing $name"
        done <<<"$hosts"
        while IFS='|' read -r index name _; do
            [ -z "$index" ] && continue
            modern_ready "$index" || missing="$missing $name"
        done <"$LAB_DIR/modern"
        [ -z "$missing" ] && return 0
        [ $SECONDS -ge $deadline ] && die "browse lists incomplete after ${BROWSE_DEADLINE_S}s, missing:$missing"
        sleep "$POLL_INTERVAL_S"
    done
}

up() {
    local size=${1:-small} hosts
    local modern
    case $size in
    small) hosts=$(small_hosts) ;;
    large) hosts=$(large_hosts) ;;
    modern) hosts= ;;
    auth) hosts=$(auth_hosts) ;;
    domain) hosts=$(domain_hosts) ;;
    *) die "unknown size '$size' (small, large, modern, auth or domain)" ;;
    esac
    # The log-on labs' scans see their own servers alone.
    modern=
    [ "$size" = auth ] || [ "$size" = domain ] || modern=$(modern_hosts "$(grep -c . <<<"$hosts" || true)")
    need_root
    # Whatever an earlier run left behind goes first.
    teardown
    trap teardown_on_failure EXIT
    mkdir -p "$LAB_DIR"
    echo "$size" >"$LAB_DIR/size"
    [ "$size" = domain ] && echo "$BENCH_COUNT" >"$LAB_DIR/bench-count"
    echo "$hosts" >"$LAB_DIR/hosts"
    echo "$modern" >"$LAB_DIR/modern"

    ip netns add "$BRIDGE_NS"
    # Multicast goes to every port, whoever has joined its group.
    ip -n "$BRIDGE_NS" link add "$BRIDGE" type bridge mcast_snooping 0
    ip -n "$BRIDGE_NS" link set "$BRIDGE" up
    ip netns add "$CLIENT_NS"
    attach "$CLIENT_NS" client0 "$CLIENT_ADDR" 02:4e:56:00:00:fe
    ip netns add "$QUIET_NS"
    attach "$QUIET_NS" quiet0 "$QUIET_ADDR" 02:4e:56:00:00:fd
    ip netns exec "$QUIET_NS" sysctl -qw net.ipv4.icmp_echo_ignore_all=1

    while IFS='|' read -r index name group master comment shares printer access; do
        [ -z "$index" ] && continue
        local ns
        ns=$(host_ns "$index")
        ip netns add "$ns"
        attach "$ns" "host$index" "$(host_addr "$index")" "$(host_mac "$index")"
        write_host_conf "$index" "$name" "$group" "$master" "$comment" "$shares" "$printer" "$access"
        if [ "$access" = user ]; then
            add_lab_user "$index"
        fi
    done <<<"$hosts"
    while IFS='|' read -r index name membership comment shares; do
        [ -z "$index" ] && continue
        local ns
        ns=$(host_ns "$index")
        ip netns add "$ns"
        attach "$ns" "host$index" "$(host_addr "$index")" "$(host_mac "$index")"
        write_modern_conf "$index" "$name" "$membership" "$comment" "$shares"
    done <<<"$modern"
    write_client_conf
    write_avahi_conf "$CLIENT_NS" labclient client
    start_client_bus
    local controller=
    if [ "$size" = domain ]; then
        for index in $DC_INDEX $MEMBER_INDEX; do
            ip netns add "$(host_ns "$index")"
            attach "$(host_ns "$index")" "host$index" "$(host_addr "$index")" "$(host_mac "$index")"
        done
        up_router "$CLIENT_NS" "$(host_ns "$DC_INDEX")" "$(host_ns "$MEMBER_INDEX")" \
            $(awk -F'|' '{print $1}' <<<"$hosts" | while read -r index; do host_ns "$index"; done)
        while IFS='|' read -r index _; do
            attach_branch "$index"
        done < <(branch_members)
        start_port22_host
        # The client asks the controller's DNS, as a domain's computers do;
        # the SMB library too, for the DNS names a share listing of a
        # directory's computer goes to.
        echo "nameserver $(host_addr "$DC_INDEX")" >"/etc/netns/$CLIENT_NS/resolv.conf"
        echo "options timeout:1 attempts:1" >>"/etc/netns/$CLIENT_NS/resolv.conf"
        sed -i 's/^  name resolve order = bcast$/  name resolve order = bcast host/' \
            "$LAB_DIR/client/smb.conf"
        write_domain_krb5_conf
        # Provisioning takes a while; the other hosts start meanwhile.
        start_domain_controller &
        controller=$!
    fi

    # Masters first so that they win their elections at once.
    local pass
    for pass in yes no; do
        while IFS='|' read -r index _ _ master _; do
            [ "$master" = "$pass" ] || continue
            start_host "$index"
        done <<<"$hosts"
    done
    while IFS='|' read -r index _; do
        [ -z "$index" ] && continue
        start_host "$index"
    done <<<"$modern"
    if [ -n "$controller" ]; then
        wait "$controller" || die "the domain controller did not start (see $LAB_DIR/h$DC_INDEX/log)"
        up_domain
        hosts="$hosts
$MEMBER_INDEX|$MEMBER_NAME|$DOMAIN_WORKGROUP"
    fi
    wait_for_browsing "$hosts"
    [ "$size" = small ] && up_mdns_hosts
    trap - EXIT
    echo "lab: $size lab up"
}

# The modern host's line, or nothing for a NetBIOS host.
modern_host() { awk -F'|' -v i="$1" '$1 == i' "$LAB_DIR/modern"; }

start_host() {
    local index=$1 ns conf modern name membership flag
    ns=$(host_ns "$index")
    conf=$LAB_DIR/h$index/smb.conf
    ip -n "$ns" link set eth0 up
    ip -n "$ns" route del blackhole "$CLIENT_ADDR/32" 2>/dev/null || true
    modern=$(modern_host "$index")
    if [ -z "$modern" ]; then
        # nmbd answers node status even with NetBIOS disabled; such a host runs without it.
        grep -q '^  disable netbios = yes' "$conf" || ip netns exec "$ns" nmbd -D -s "$conf"
        ip netns exec "$ns" smbd -D -s "$conf"
        start_host_avahi "$index"
        return 0
    fi
    IFS='|' read -r _ name membership _ <<<"$modern"
    flag=-w
    [ "${membership%%:*}" = domain ] && flag=-d
    ip netns exec "$ns" smbd -D -s "$conf"
    # Each with an endpoint of its own: wsdd would derive the same one from
    # the host name all namespaces share.
    ip netns exec "$ns" setsid wsdd -4 -p -i eth0 -n "$name" "$flag" "${membership#*:}" \
        -U "$(printf '4e564e56-0000-4000-8000-%012d' "$index")" </dev/null >"$LAB_DIR/h$index/log/wsdd.log" 2>&1 &
}

# True once a modern host serves SMB and its WS-Discovery metadata.
modern_ready() {
    local listening
    listening=$(ip netns exec "$(host_ns "$1")" ss -Hltn 2>/dev/null || true)
    grep -q ':445 ' <<<"$listening" && grep -q ':5357 ' <<<"$listening"
}

# Waits until host N answers for its name, as it does once its name
# service has registered it.
wait_for_name() {
    local index=$1 name deadline=$((SECONDS + NAME_DEADLINE_S))
    if [ -n "$(modern_host "$index")" ]; then
        until modern_ready "$index"; do
            [ $SECONDS -ge $deadline ] && die "host $index did not start within ${NAME_DEADLINE_S}s"
            sleep 0.2
        done
        return 0
    fi
    name=$(awk -F'|' -v i="$index" '$1 == i {print $2}' "$LAB_DIR/hosts")
    [ -n "$name" ] || die "no host $index in this lab"
    until ip netns exec "$CLIENT_NS" nmblookup -s "$LAB_DIR/client/smb.conf" "$name" 2>/dev/null |
        grep -q "^$(host_addr "$index") "; do
        [ $SECONDS -ge $deadline ] && die "$name did not answer for its name within ${NAME_DEADLINE_S}s"
        sleep 0.5
    done
}

# Kills one host's daemons without letting them say goodbye, so that the
# browse master still lists the host; its namespace and address stay.
stop_host() {
    local ns
    ns=$(host_ns "$1")
    signal_namespace KILL "$ns"
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        [ -z "$(ip netns pids "$ns" 2>/dev/null || true)" ] && return 0
        sleep 0.2
    done
    die "host $1 did not stop"
}

stale_host() {
    local index=$1 kind=$2 ns
    ns=$(host_ns "$index")
    stop_host "$index"
    case $kind in
    gone) ip -n "$ns" link set eth0 down ;;
    # The kernel still answers ARP; every answer to the client goes into a
    # black hole.
    muted) ip -n "$ns" route add blackhole "$CLIENT_ADDR/32" ;;
    *) die "unknown stale kind '$kind' (gone or muted)" ;;
    esac
}

# Computers that have gone while the browse master still lists them: one
# host announces COUNT names (its own and aliases) in LABGROUP2 until the
# client's browse list shows them all, then its link goes down. They stay
# listed for the rest of the lab's life.
GHOST_INDEX=40
ghosts() {
    local count=$1 index=$GHOST_INDEX ns conf aliases= i tree missing
    local deadline=$((SECONDS + BROWSE_DEADLINE_S))
    ns=$(host_ns "$index")
    conf=$LAB_DIR/h$index/smb.conf
    ip netns add "$ns"
    attach "$ns" "host$index" "$(host_addr "$index")" "$(host_mac "$index")"
    write_host_conf "$index" LABGHOST0 LABGROUP2 no "Gone computer" "" ""
    for i in $(seq 1 $((count - 1))); do aliases="$aliases LABGHOST$i"; done
    sed -i "/^\[global\]/a\\  netbios aliases =$aliases" "$conf"
    # Never the browse master: the workgroup must keep its own once these go.
    sed -i 's/^  local master = yes$/  local master = no/' "$conf"
    ip netns exec "$ns" nmbd -D -s "$conf"
    while :; do
        tree=$(client_smbtree)
        missing=
        for i in $(seq 0 $((count - 1))); do
            grep -q "^[[:space:]]*\\\\\\\\LABGHOST$i[[:space:]]" <<<"$tree" || missing="$missing LABGHOST$i"
        done
        [ -z "$missing" ] && break
        [ $SECONDS -ge $deadline ] && die "browse list incomplete after ${BROWSE_DEADLINE_S}s, missing:$missing"
        sleep "$POLL_INTERVAL_S"
    done
    stale_host "$index" gone
}

# A device on the link that claims whatever it is told to: a computer's
# name by WS-Discovery or by multicast DNS, or thousands of WS-Discovery
# endpoints. It runs no name service, and an SMB server that takes the lab
# user and logs every log-on, so that a test sees whether a scan's log-on
# ever reaches it.
DEVICE_INDEX=50
DEVICE_NAME=LABDEVICE
device_up() {
    local ns dir conf
    ns=$(host_ns "$DEVICE_INDEX")
    dir=$LAB_DIR/h$DEVICE_INDEX
    conf=$dir/smb.conf
    [ -e "/run/netns/$ns" ] && return 0
    ip netns add "$ns"
    attach "$ns" "host$DEVICE_INDEX" "$(host_addr "$DEVICE_INDEX")" "$(host_mac "$DEVICE_INDEX")"
    write_host_conf "$DEVICE_INDEX" "$DEVICE_NAME" LABDEVICES no "Device" "trap:Device share" "" user
    sed -i -e 's/^  disable netbios = no/  disable netbios = yes/' \
        -e 's/^  smb ports = 445 139/  smb ports = 445/' \
        -e 's/^  local master = yes/  local master = no/' "$conf"
    add_lab_user "$DEVICE_INDEX"
    ip netns exec "$ns" smbd -D -s "$conf"
}

# Ends the device's claim (its WS-Discovery or Avahi daemon); its SMB
# server stays.
device_quiet() {
    local dir=$LAB_DIR/h$DEVICE_INDEX pid
    for pid in $(cat "$dir/claim.pids" 2>/dev/null); do
        kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
    done
    rm -f "$dir/claim.pids"
}

# lab.sh device wsd NAME GROUP | mdns HOSTNAME | flood COUNT | quiet | logons
device() {
    local what=${1:?wsd, mdns, flood, quiet or logons} ns dir
    ns=$(host_ns "$DEVICE_INDEX")
    dir=$LAB_DIR/h$DEVICE_INDEX
    if [ "$what" = logons ]; then
        # Every user name a log-on to the device carried.
        cat "$dir"/log/*.log 2>/dev/null | grep -o 'user \[[^]]*\]\\\[[^]]*\]' || true
        return 0
    fi
    device_up
    device_quiet
    case $what in
    wsd)
        setsid ip netns exec "$ns" wsdd -4 -p -i eth0 -n "${2:?name}" -w "${3:?group}" \
            -U 4e564e56-0000-4000-8000-0000000000de </dev/null >"$dir/log/wsdd.log" 2>&1 &
        echo $! >>"$dir/claim.pids"
        wait_for_port "$ns" 5357
        ;;
    mdns)
        write_avahi_conf "$ns" "${2:?host name}" host
        start_avahi "$ns" "$dir/log/avahi.log" >>"$dir/claim.pids"
        wait_for_avahi "$dir/log/avahi.log" "Server startup complete"
        ;;
    flood)
        setsid ip netns exec "$ns" python3 "$(dirname "$0")/wsd-flood.py" \
            "$(host_addr "$DEVICE_INDEX")" "${2:?count}" </dev/null >"$dir/log/flood.log" 2>&1 &
        echo $! >>"$dir/claim.pids"
        wait_for_port "$ns" 5357
        ;;
    quiet) ;;
    *) die "unknown device claim '$what'" ;;
    esac
}

# Waits until something in namespace `ns` listens on TCP `port`.
wait_for_port() {
    local ns=$1 port=$2 deadline=$((SECONDS + NAME_DEADLINE_S))
    until ip netns exec "$ns" ss -Hltn 2>/dev/null | grep -q ":$port "; do
        [ $SECONDS -ge $deadline ] && die "nothing listens on port $port in $ns"
        sleep 0.1
    done
}

status() {
    local ns
    if [ -z "$(lab_namespaces)" ]; then
        echo "lab: down"
        return 0
    fi
    echo "lab: $(cat "$LAB_DIR/size" 2>/dev/null || echo unknown) lab"
    for ns in $(lab_namespaces); do
        echo "$ns: $(ip -n "$ns" -4 -o addr show dev eth0 2>/dev/null | awk '{print $4}') " \
            "processes: $(ip netns pids "$ns" 2>/dev/null | wc -l)"
    done
    echo "--- browse lists seen by the client"
    client_smbtree
}

case ${1:-} in
up) up "${2:-small}" ;;
down)
    need_root
    teardown
    echo "lab: down"
    ;;
status) status ;;
stop-host)
    need_root
    stop_host "${2:?host index}"
    ;;
stale-host)
    need_root
    stale_host "${2:?host index}" "${3:?gone or muted}"
    ;;
start-host)
    need_root
    start_host "${2:?host index}"
    wait_for_name "$2"
    ;;
ghosts)
    need_root
    ghosts "${2:?how many}"
    ;;
client-avahi)
    need_root
    client_avahi "${2:?on or off}"
    ;;
second-client)
    need_root
    [ -n "$(lab_namespaces)" ] || die "the lab is not up"
    if ! ip netns list | grep -q "^$SECOND_CLIENT_NS\b"; then
        ip netns add "$SECOND_CLIENT_NS"
        attach "$SECOND_CLIENT_NS" client2 "$SECOND_CLIENT_ADDR" 02:4e:56:00:00:fb
    fi
    echo "$SECOND_CLIENT_NS"
    ;;
device)
    need_root
    shift
    device "$@"
    ;;
hostile)
    need_root
    hostile "${2:-up}"
    ;;
bench-net)
    need_root
    bench_net "${2:-}"
    ;;
*) die "usage: lab.sh up [small|large|modern|auth|domain] | down | status | stop-host N | stale-host N gone|muted | start-host N | ghosts COUNT | client-avahi on|off | second-client | device ... | hostile [up|down] | bench-net [wide]" ;;
esac
