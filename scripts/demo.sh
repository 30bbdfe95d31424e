#!/usr/bin/env bash
# The launcher's main job: builds Setup.exe and runs it under Wine on a
# sample patch folder, showing the installer command line it produced, the
# product's registration before, during and after, and the exit status.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" >/dev/null
python3 scripts/demo.py build/windows
