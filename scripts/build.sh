#!/usr/bin/env bash
# Configures and builds Norvane into build/ (or $NORVANE_BUILD_DIR). Uses
# ccache when it is installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NORVANE_BUILD_DIR:-$root/build}
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
