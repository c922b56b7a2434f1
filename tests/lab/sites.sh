#!/usr/bin/env bash
# Two sites, one PostgreSQL store: the lab's client and a second client
# namespace each scan the lab's computers with `--scan computers --site`,
# both at once, twice, into the private cluster; then `--changes --site`
# reports each site on its own. Runs inside the lab's client namespace
# (lab-ctest.sh run), with the cluster's state file from the store's
# fixture.
#
#   sites.sh PROGRAM LAB_SCRIPT PG_STATE
set -euo pipefail
program=${1:?program}
lab=${2:?lab script}
state=${3:?cluster state file}
[ -f "$state" ] || { echo "the PostgreSQL cluster is not running" >&2; exit 1; }
socket=$(sed -n 's/^socket=//p' "$state")
user=$(sed -n 's/^user=//p' "$state")
password=$(sed -n 's/^password=//p' "$state")
bin=$(sed -n 's/^bin=//p' "$state")
lab_dir=${NORVANE_LAB_DIR:-/tmp/norvane-lab}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The scanners' home: the lab client's smb.conf and the store's password.
export HOME=$work/home
mkdir -p "$HOME/.smb"
ln -s "$lab_dir/client/smb.conf" "$HOME/.smb/smb.conf"
printf '*:*:*:%s:%s\n' "$user" "$password" >"$HOME/.pgpass"
chmod 600 "$HOME/.pgpass"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

database=sites_$$
PGPASSWORD=$password "$bin/psql" -q -h "$socket" -U "$user" -d postgres \
    -c "CREATE DATABASE $database" >/dev/null
store="postgresql://$user@/$database?host=$socket"
second=$("$lab" second-client)

failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

# Both sites at once, in their own namespaces.
for round in 1 2; do
    "$program" --scan computers -q -f json -o "$work/north-$round.json" \
        --site north --store "$store" 2>"$work/north-$round.err" &
    north=$!
    ip netns exec "$second" "$program" --scan computers -q -f json -o "$work/south-$round.json" \
        --site south --store "$store" 2>"$work/south-$round.err" &
    south=$!
    wait "$north" || fail "north's scan $round: exit $? ($(cat "$work/north-$round.err"))"
    wait "$south" || fail "south's scan $round: exit $? ($(cat "$work/south-$round.err"))"
done

rows() { python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))["rows"]))' "$1"; }
for site in north south; do
    [ "$(rows "$work/$site-2.json")" -gt 0 ] || fail "$site found no computers"
    set +e
    "$program" --changes --site "$site" --store "$store" --format json >"$work/$site-changes.json"
    status=$?
    set -e
    [ $status -le 1 ] || fail "--changes --site $site: exit $status"
    python3 - "$work/$site-changes.json" "$site" "$(rows "$work/$site-2.json")" <<'PY' || fail "$site's changes"
import json, sys
document = json.load(open(sys.argv[1]))
site, rows = sys.argv[2], int(sys.argv[3])
sections = document["sections"]
assert len(sections) == 1, sections
section = sections[0]
assert section["site"] == site and section["resourceType"] == "computers", section
assert section["newer"]["id"] > section["older"]["id"], section
counts = section["counts"]
print(f"{site}: scans {section['older']['id']} and {section['newer']['id']}, {rows} computers, "
      f"{counts['new']} new, {counts['gone']} gone, {counts['changed']} changed")
PY
done
# Each site's scans are its own: four scans, two a site, all complete.
PGPASSWORD=$password "$bin/psql" -qtA -h "$socket" -U "$user" -d "$database" \
    -c "SELECT site, count(*), min(complete) FROM scans GROUP BY site ORDER BY site" \
    >"$work/scans.txt"
[ "$(cat "$work/scans.txt")" = "$(printf 'north|2|1\nsouth|2|1')" ] ||
    fail "recorded scans: $(cat "$work/scans.txt")"
"$program" --changes --site elsewhere --store "$store" --format json >/dev/null ||
    fail "--changes --site elsewhere: exit $?"
PGPASSWORD=$password "$bin/psql" -q -h "$socket" -U "$user" -d postgres \
    -c "DROP DATABASE $database" >/dev/null || true
[ $failed -eq 0 ] && echo "sites: both sites recorded and reported"
exit $failed
