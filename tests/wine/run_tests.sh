#!/bin/sh
# Runs the end-to-end tests of Setup.exe under Wine.
#
#   tests/wine/run_tests.sh <windows-build-dir> [unittest arguments...]
#
# The build folder is the one of the `windows` preset (build/windows); it must
# hold Setup.exe and the tools of tests/wine/tools. Extra arguments go to unittest
# (e.g. -k quoted). Exits nonzero when a test fails, and never runs longer
# than SETUP_WINE_TEST_TIMEOUT seconds (default 1200).
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 <windows-build-dir> [unittest arguments...]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)

find_one() {
  # The shallowest file called $1 under the build folder, outside the
  # first-run kit's folders (copies, and a GUI build of the recorder).
  find "$build_dir" \( -name CMakeFiles -o -path "$build_dir/first-run-kit" -o -path "$build_dir/kit" \) -prune \
    -o -type f -name "$1" -printf '%d %p\n' 2>/dev/null |
    sort -n | head -n 1 | cut -d' ' -f2-
}

SETUP_EXE=$(find_one Setup.exe)
SETUP_RECORDER_EXE=$(find_one recorder.exe)
SETUP_STARTER_EXE=$(find_one starter.exe)
SETUP_SERVICE_STUB_EXE=$(find_one service_stub.exe)
SETUP_BOX_READER_EXE=$(find_one box_reader.exe)
SETUP_KEY_ACCESS_EXE=$(find_one key_access.exe)
SETUP_TERMINATOR_EXE=$(find_one terminator.exe)
SETUP_CANARY_DLL=$(find_one canary.dll)
SETUP_CARELESS_LOADER_EXE=$(find_one careless_loader.exe)
for program in "Setup.exe:$SETUP_EXE" "recorder.exe:$SETUP_RECORDER_EXE" "starter.exe:$SETUP_STARTER_EXE" \
               "service_stub.exe:$SETUP_SERVICE_STUB_EXE" "box_reader.exe:$SETUP_BOX_READER_EXE" \
               "key_access.exe:$SETUP_KEY_ACCESS_EXE" "terminator.exe:$SETUP_TERMINATOR_EXE" \
               "canary.dll:$SETUP_CANARY_DLL" \
               "careless_loader.exe:$SETUP_CARELESS_LOADER_EXE"; do
  if [ -z "${program#*:}" ]; then
    echo "error: ${program%%:*} not found under $build_dir (build the windows preset first)" >&2
    exit 2
  fi
  echo "${program%%:*}: ${program#*:}"
done
export SETUP_EXE SETUP_RECORDER_EXE SETUP_STARTER_EXE SETUP_SERVICE_STUB_EXE SETUP_BOX_READER_EXE SETUP_KEY_ACCESS_EXE \
  SETUP_TERMINATOR_EXE \
  SETUP_CANARY_DLL SETUP_CARELESS_LOADER_EXE
SETUP_FIRST_RUN_KIT="$build_dir/first-run-kit"
if [ ! -f "$SETUP_FIRST_RUN_KIT/first-run.exe" ]; then
  echo "error: the first-run kit is not in $build_dir (build the windows preset first)" >&2
  exit 2
fi
export SETUP_FIRST_RUN_KIT
export PYTHONDONTWRITEBYTECODE=1  # keep the source tree clean

# TERM first, so the harness can end its Wine prefixes; KILL if that hangs.
limit=${SETUP_WINE_TEST_TIMEOUT:-1200}
status=0
timeout --kill-after=20 "$limit" \
  python3 -m unittest discover -s "$here" -t "$here" -p 'test_*.py' -v "$@" || status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "error: the Wine tests did not finish within $limit s" >&2
fi
exit "$status"
