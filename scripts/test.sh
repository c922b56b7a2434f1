#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite through
# CTest. Extra arguments go to ctest (for example -L fast or -LE lab).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" --tests
"$root/scripts/build.sh" -DNORVANE_WERROR=ON
build=${NORVANE_BUILD_DIR:-$root/build}
cd "$build"
ctest --output-on-failure --timeout 900 "$@"
