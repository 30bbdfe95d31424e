#!/usr/bin/env bash
# The patch deployed to a simulated fleet of 10,000 machines through a
# deployment tool's cycles (tests/fleet), in an optimised build without
# sanitizers (the `bench` preset). Prints the table of standings per cycle,
# the classes machines end in, the machine with the most runs and one line:
#   fleet machines=<n> seconds=<s>
# and writes the JSON report and the chart into build/bench/fleet/
# (fleet-<seed>-<kill percent>.json and .svg). The chart docs/deploying.md
# shows is replaced only with --update-docs.
#   bench/fleet.sh [--update-docs] [machines, default 10000] [seed, default 1]
#                  [kill percent, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
update_docs=no
if [[ "${1:-}" == --update-docs ]]; then
  update_docs=yes
  shift
fi
machines="${1:-10000}" seed="${2:-1}" kill="${3:-10}"
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" --target fleet_sim >/dev/null
out=build/bench/fleet
mkdir -p "$out"
status=0
build/bench/tests/fleet/fleet_sim --machines "$machines" --seed "$seed" --kill-percent "$kill" \
  --json "$out/fleet-$seed-$kill.json" --svg "$out/fleet-$seed-$kill.svg" || status=$?
if [[ "$update_docs" == yes ]]; then
  if [[ "$status" -ne 0 ]]; then
    echo "the fleet failed: docs/fleet-outcome.svg left as it was" >&2
  else
    cp "$out/fleet-$seed-$kill.svg" docs/fleet-outcome.svg
    echo "docs/fleet-outcome.svg updated from $out/fleet-$seed-$kill.svg"
  fi
fi
exit "$status"
