#!/usr/bin/env bash
# Installs what is missing, builds and starts Norvane.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
build=${NORVANE_BUILD_DIR:-$root/build}
exec "$build/src/app/norvane" "$@"
