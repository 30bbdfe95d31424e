#!/usr/bin/env bash
# What Setup.exe costs under Wine: median ratios of paired, interleaved runs
# against the bare interpreter + installer command line and against a
# minimal starter (see wine_cost.py). Prints one line.
#   bench/wine_cost.sh [--runs N] [--build-dir DIR]
# Needs the windows preset built (Setup.exe and tests/wine/tools).
set -euo pipefail
exec python3 "$(dirname "$0")/wine_cost.py" "$@"
