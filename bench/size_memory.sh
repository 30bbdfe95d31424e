#!/usr/bin/env bash
# Setup.exe's size and its peak memory during a run under Wine (see
# size_memory.py). Prints one line.
#   bench/size_memory.sh [--runs N] [--build-dir DIR]
# Needs the windows preset built (Setup.exe and tests/wine/tools).
set -euo pipefail
exec python3 "$(dirname "$0")/size_memory.py" "$@"
