#!/usr/bin/env bash
# Runs the lab benchmark inside the lab's client namespace, bringing the lab
# up first when it is down (and down again afterwards). Root only.
#   bench/lab/run.sh BUILD_DIR [small|large] [--sequential]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:?build directory}
size=${2:-small}
lab=$root/tests/lab/lab.sh
client=${NORVANE_LAB_PREFIX:-nvlab}-client
if ! ip netns list | grep -q "^$client\b"; then
    "$lab" up "$size"
    trap '"$lab" down' EXIT
fi
ip netns exec "$client" "$build/bench/lab/lab_bench" "${@:3}"
