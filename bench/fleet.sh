#!/usr/bin/env bash
# The patch deployed to a simulated fleet of 10,000 machines through a
# deployment tool's cycles (tests/fleet), in an optimised build without
# sanitizers (the `bench` preset). Prints the table of standings per cycle,
# the machine with the most runs and one line:
#   fleet machines=<n> seconds=<s>
# and writes the JSON report and the chart docs/deploying.md shows.
#   bench/fleet.sh [machines, default 10000] [seed, default 1]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" --target fleet_sim >/dev/null
mkdir -p build/bench/fleet
build/bench/tests/fleet/fleet_sim --machines "${1:-10000}" --seed "${2:-1}" \
  --json build/bench/fleet/fleet.json --svg docs/fleet-outcome.svg
