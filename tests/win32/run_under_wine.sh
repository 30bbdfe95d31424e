#!/bin/sh
# Runs the Win32 platform tests under Wine in a throwaway prefix.
#   tests/win32/run_under_wine.sh <build-dir> [gtest arguments...]
#
# 1. Checks that the test program does not import msi.dll: a static import
#    would take the planted copy before any code runs. (Setup.exe's imports
#    are checked by tests/binary/check_setup_exe.sh.)
# 2. Builds the installer databases the tests read (make_test_databases.sh).
# 3. Runs every test but PlantedMsiDllTest, with the gtest arguments given.
# 4. Runs PlantedMsiDllTest alone from a planted layout: the canary msi.dll
#    beside a copy of the test program and in the current directory, Wine
#    told to prefer a native msi.dll, and the current directory searched
#    before the system folder. Only this run sees that override.
# Exits 0 when everything passed; otherwise with the failing run's status
# (Wine passes on its low 8 bits) or 1.
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 <build-dir> [gtest arguments...]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)
tests_exe="$build_dir/tests/win32/win32_platform_tests.exe"
canary_dir="$build_dir/tests/win32/canary"
for needed in "$tests_exe" "$canary_dir/msi.dll" "$canary_dir/careless_msi_loader.exe"; do
  if [ ! -f "$needed" ]; then
    echo "$0: $needed not found; build the windows preset first" >&2
    exit 2
  fi
done

# 1. Imports -------------------------------------------------------------
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
if ! command -v "$objdump" >/dev/null 2>&1; then
  echo "$0: $objdump not found" >&2
  exit 2
fi
if "$objdump" -p "$tests_exe" | grep -qi '^[[:space:]]*DLL Name: msi\.dll[[:space:]]*$'; then
  echo "FAIL: $tests_exe imports msi.dll; a planted copy would be loaded at start" >&2
  exit 1
fi

# Scratch space and prefix -----------------------------------------------
scratch=$(mktemp -d)
export WINEPREFIX="$scratch/prefix"
export WINEDEBUG=-all
# No display: nothing may wait for a window.
unset DISPLAY
unset WINEDLLOVERRIDES

cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Wine maps / to drive Z:.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

# 2. Databases -----------------------------------------------------------
"$here/make_test_databases.sh" "$scratch/databases"
SETUP_TEST_DATABASES=$(windows_path "$scratch/databases")
export SETUP_TEST_DATABASES

mkdir -p "$WINEPREFIX"
# A server started by a later wine call would inherit that call's output and
# keep any reader of it waiting; start it first, with its output discarded.
wineserver -p >/dev/null 2>&1
# wineboot returns once the prefix is ready. (wineserver -w would wait for
# the persistent server to exit, which it never does.)
timeout 300 wineboot -i >/dev/null 2>&1

# 3. Everything but the planted layout's suite ---------------------------
SETUP_EXE_UNDER_TEST=$(windows_path "$build_dir/src/Setup.exe")
export SETUP_EXE_UNDER_TEST
status=0
timeout 600 wine "$tests_exe" --gtest_filter='-PlantedMsiDllTest.*' "$@" || status=$?

# 4. The planted layout --------------------------------------------------
planted="$scratch/planted"
mkdir -p "$planted/Downloads" "$planted/Work Folder"
cp "$tests_exe" "$canary_dir/msi.dll" "$canary_dir/careless_msi_loader.exe" "$planted/Downloads/"
cp "$canary_dir/msi.dll" "$planted/Work Folder/"
# Without safe search mode the current directory comes before the system
# folder: the harshest order, in which a careless load takes that copy too.
wine reg add 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v SafeDllSearchMode /t REG_DWORD /d 0 /f >/dev/null 2>&1

planted_log="$scratch/planted.log"
planted_status=0
(
  cd "$planted/Work Folder"
  SETUP_CANARY_MARKER=$(windows_path "$scratch/canary-marker.txt") \
    WINEDLLOVERRIDES='msi=n,b' \
    timeout 600 wine "$planted/Downloads/win32_platform_tests.exe" \
    --gtest_filter='PlantedMsiDllTest.*' >"$planted_log" 2>&1
) || planted_status=$?
cat "$planted_log"
# A suite that ran nothing, or skipped, proved nothing.
if [ "$planted_status" -eq 0 ]; then
  if ! grep -q '^\[  PASSED  \] [1-9]' "$planted_log" ||
    grep -q '^\[  SKIPPED \]' "$planted_log"; then
    echo "FAIL: the planted-layout suite did not run all its tests" >&2
    planted_status=1
  fi
fi

if [ "$status" -ne 0 ]; then exit "$status"; fi
exit "$planted_status"
