#!/usr/bin/env bash
# Builds the host preset and runs the benchmark: the real bridge on ptsim, every figure beside its
# yardstick measured in the same run, printed as one table. Figures only; nothing passes or fails.
#
# Usage: scripts/bench.sh [tarnix_bench options]     (e.g. --seconds 2 --repeats 7)
#
# The figures depend on the machine and its load: compare the ratios, which the yardsticks,
# measured in turns with the bridge, make comparable between runs.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

tarnix_ensure_packages "${TARNIX_HOST_PACKAGES[@]}"
echo "Building build/host/bin/tarnix_bench"
cmake --preset host >/dev/null
cmake --build --preset host --target tarnix_bench >/dev/null
build/host/bin/tarnix_bench "$@"
