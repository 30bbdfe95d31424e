#!/usr/bin/env bash
# Runs every test: the folders' layering, host suite (simulated machine, ASan/UBSan, with the
# fault sweep), a fuzzing campaign, the built
# Setup.exe's format and imports, the Win32 platform suite under Wine, and
# the end-to-end suite under Wine. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

python3 scripts/check_layering.py
python3 scripts/check_readme_products.py --self-test
python3 scripts/check_readme_products.py
python3 -m unittest discover -s tools -p 'test_*.py'

jobs=$(nproc)
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"
ctest --preset host -j "$jobs"

# A bounded fuzzing campaign over the simulated machine: a minute a harness.
SETUP_FUZZ_SECONDS=${SETUP_FUZZ_SECONDS:-60} bash fuzz/run.sh

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
/usr/bin/python3 tests/binary/check_setup_exe.py build/windows/src/Setup.exe
bash tests/binary/check_reproducible.sh
bash tests/binary/check_signing.sh build/windows
bash tests/win32/run_under_wine.sh build/windows
bash tests/wine/run_tests.sh build/windows

echo "All tests passed."
