#!/usr/bin/env bash
# What Setup.exe adds to a real patch under Wine: the median ratio of paired,
# interleaved runs of Setup.exe and of the installer command line it starts,
# both applying a real patch with Wine's own msiexec (see real_cost.py).
# Prints one line.
#   bench/real_cost.sh [--runs N] [--build-dir DIR]
# Needs the windows preset built (Setup.exe and tests/wine/tools), wixl and msiinfo.
set -euo pipefail
exec python3 "$(dirname "$0")/real_cost.py" "$@"
