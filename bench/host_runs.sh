#!/usr/bin/env bash
# Complete simulated launcher runs per second on the host, in an optimised
# build without sanitizers (the `bench` preset, build/bench). One line:
#   host_runs runs_per_second=<n> runs=<n> scenarios=<n>
#   bench/host_runs.sh [seconds, default 5]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" --target host_run_bench >/dev/null
build/bench/bench/host/host_run_bench "${1:-5}"
