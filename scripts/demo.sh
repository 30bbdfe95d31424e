#!/usr/bin/env bash
# The launcher's main job: builds Setup.exe, installs the sample product with
# Wine's own installer, makes a real patch for it, and applies it through
# Setup.exe from a patch folder, showing the product before and after, then
# prints the deployment kit (tools/make_deploy_kit.py) for that patch folder.
# With --recorder, a recording stand-in replaces the installer instead and
# the product's registration is shown while "the installer" runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
# Wine here runs every Windows program through a 32-bit loader: say so plainly
# rather than fail deep inside the prefix's boot.
if ! python3 scripts/can_run_32bit.py --why; then
  echo "demo.sh: stopped before building; nothing was changed." >&2
  exit 3
fi
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" >/dev/null
python3 scripts/demo.py build/windows "$@"
