#!/bin/sh
# Runs the Win32 platform tests under Wine in a throwaway prefix.
#   tests/win32/run_under_wine.sh <build-dir> [gtest arguments...]
# Exits with the test program's status (Wine passes on its low 8 bits:
# 0 means every test passed).
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 <build-dir> [gtest arguments...]" >&2
  exit 2
fi
build_dir=$1
shift
tests_exe="$build_dir/tests/win32/win32_platform_tests.exe"
if [ ! -f "$tests_exe" ]; then
  echo "$0: $tests_exe not found; build the windows preset first" >&2
  exit 2
fi

scratch=$(mktemp -d)
export WINEPREFIX="$scratch/prefix"
export WINEDEBUG=-all
# No display: nothing may wait for a window.
unset DISPLAY

cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$WINEPREFIX"
# A server started by a later wine call would inherit that call's output and
# keep any reader of it waiting; start it first, with its output discarded.
wineserver -p >/dev/null 2>&1
# wineboot returns once the prefix is ready. (wineserver -w would wait for
# the persistent server to exit, which it never does.)
timeout 300 wineboot -i >/dev/null 2>&1

status=0
timeout 600 wine "$tests_exe" "$@" || status=$?
exit "$status"
