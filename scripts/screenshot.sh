#!/usr/bin/env bash
# Takes the README's screenshot: Norvane scanning the large Samba lab
# (./scripts/run.sh --lab) on a virtual display, grabbed once the scan has
# finished and trimmed to the window. The scan counts as finished when the
# screen has stayed the same for a while: the search animation runs for as
# long as the scan does.
#
#   sudo ./scripts/screenshot.sh [OUTPUT.png]   (default docs/norvane-lab-scan.png)
#
# Needs root (the lab) and ImageMagick (apt-get install imagemagick). The
# program starts with fresh settings in a temporary directory, so the picture
# shows its default layout whatever the user's own settings are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
output=${1:-$root/docs/norvane-lab-scan.png}
SCREEN=1024x768x24
# Building, bringing the lab up and scanning it all fit in this.
DEADLINE_S=900
SAMPLE_INTERVAL_S=2
# Unchanged samples in a row that mean the scan is over.
STABLE_SAMPLES=5

say() { echo "screenshot.sh: $*" >&2; }

[ "$(id -u)" -eq 0 ] || {
    say "needs root for the Samba lab: sudo ./scripts/screenshot.sh"
    exit 1
}
if ! command -v import >/dev/null || ! command -v convert >/dev/null; then
    say "needs ImageMagick: apt-get install imagemagick"
    exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 $SCREEN" "$0" "$@"
fi

work=$(mktemp -d)
[ -n "${SUDO_UID:-}" ] && chown "$SUDO_UID" "$work"
run_pid=
finish() {
    if [ -n "$run_pid" ]; then
        kill -TERM "$run_pid" 2>/dev/null || true
        wait "$run_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap finish EXIT

XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data "$root/scripts/run.sh" --lab &
run_pid=$!

# Raw pixels of the whole screen; a screen of one colour has no window yet.
grab() { import -window root -depth 8 rgb:"$1"; }
has_window() { [ "$(convert -size "${SCREEN%x*}" -depth 8 rgb:"$1" -format %k info:)" -gt 1 ]; }

deadline=$((SECONDS + DEADLINE_S))
stable=0
grab "$work/previous"
while [ "$stable" -lt "$STABLE_SAMPLES" ]; do
    [ $SECONDS -lt $deadline ] || {
        say "the scan did not finish within ${DEADLINE_S}s"
        exit 1
    }
    kill -0 "$run_pid" 2>/dev/null || {
        say "run.sh ended before the scan finished"
        exit 1
    }
    sleep "$SAMPLE_INTERVAL_S"
    grab "$work/current"
    if has_window "$work/current" && cmp -s "$work/current" "$work/previous"; then
        stable=$((stable + 1))
    else
        stable=0
    fi
    mv "$work/current" "$work/previous"
done

mkdir -p "$(dirname "$output")"
import -window root -trim +repage "$output"
say "wrote $output"
