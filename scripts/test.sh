#!/usr/bin/env bash
# Runs every test in named stages: the folders' layering, the README check,
# the tools' tests, the host suite (simulated machine, ASan/UBSan, with the
# sweeps and the small fleet), a fuzzing campaign, the built Setup.exe's
# format, reproducibility and signing, the Win32 platform suite under Wine,
# and the end-to-end suites under Wine. Installs what it needs first.
#
#   --quick   the edit-and-check loop: layering and README checks, host build,
#             host tests without the long sweeps (one fault sweep and one
#             crash sweep kept), the small fleet.
#   --list    prints each stage and whether it would run or be skipped (and
#             why), running none of them.
#
# Where this machine cannot run 32-bit programs (scripts/can_run_32bit.py),
# the stages that need Wine are reported skipped with the reason, never as
# passed; SETUP_REQUIRE_WINE=1 counts them as failures instead. Any failing
# stage makes the command fail. The last line is "N passed, N failed, N skipped".
set -uo pipefail
cd "$(dirname "$0")/.."

mode=full
for arg in "$@"; do
  case "$arg" in
    --quick) mode=quick ;;
    --list) list=1 ;;
    *) echo "test.sh: unknown argument $arg (use --quick, --list)" >&2; exit 2 ;;
  esac
done
list=${list:-0}
jobs=$(nproc)

if [[ $list == 0 ]]; then
  bash scripts/setup.sh || { echo "test.sh: scripts/setup.sh failed" >&2; echo "0 passed, 1 failed, 0 skipped"; exit 1; }
fi

wine_reason=""
if ! python3 scripts/can_run_32bit.py; then
  wine_reason="this machine cannot run 32-bit programs, which Wine needs (python3 scripts/can_run_32bit.py --why)"
fi

lint_reason=""
linter=/opt/setup-tools/node_modules/.bin/action-validator
if [[ ! -x $linter ]]; then
  lint_reason="no workflow linter installed (scripts/setup.sh installs npm's @action-validator/cli into /opt/setup-tools)"
fi

passed=0 failed=0 skipped=0 planned=0
results=()

# stage NAME NEEDS COMMAND...  (NEEDS: wine, lint (the workflow linter) or -)
stage() {
  local name=$1 needs=$2; shift 2
  if [[ $needs == wine && -n $wine_reason ]]; then
    if [[ ${SETUP_REQUIRE_WINE:-0} == 1 ]]; then
      results+=("FAIL  $name: $wine_reason (SETUP_REQUIRE_WINE=1)"); failed=$((failed + 1))
    else
      results+=("SKIP  $name: $wine_reason"); skipped=$((skipped + 1))
    fi
    echo "== ${results[-1]}"
    return
  fi
  if [[ $needs == lint && -n $lint_reason ]]; then
    results+=("SKIP  $name: $lint_reason"); skipped=$((skipped + 1))
    echo "== ${results[-1]}"
    return
  fi
  if [[ $list == 1 ]]; then
    echo "RUN   $name"; planned=$((planned + 1))
    return
  fi
  echo "== stage: $name"
  if "$@"; then
    results+=("PASS  $name"); passed=$((passed + 1))
  else
    results+=("FAIL  $name"); failed=$((failed + 1))
  fi
}

host_build() {
  cmake --preset host >/dev/null && cmake --build --preset host -j "$jobs"
}

windows_build() {
  cmake --preset windows >/dev/null && cmake --build --preset windows -j "$jobs"
}

# The host tests without the long sweeps, plus the first case of each sweep
# (a typical run each) and the small fleet.
quick_host_tests() {
  local bin=build/host/tests/host/host_tests fault crash
  fault=$("$bin" --gtest_list_tests --gtest_filter='*/FaultSweepTest.*' | awk '/^ /{print $1; exit}')
  crash=$("$bin" --gtest_list_tests --gtest_filter='*/CrashSweepTest.EveryKill*' | awk '/^ /{print $1; exit}')
  "$bin" --gtest_brief=1 --gtest_filter='-*/FaultSweepTest.*:*/CrashSweepTest.*' &&
    "$bin" --gtest_brief=1 --gtest_filter="*/FaultSweepTest.$fault:*/CrashSweepTest.$crash" &&
    ctest --preset host -R '^SmallFleet$'
}

stage "layering" - python3 scripts/check_layering.py
stage "README check self-test" - python3 scripts/check_readme_products.py --self-test
stage "README products" - python3 scripts/check_readme_products.py
stage "32-bit skip plan and demo message" - bash scripts/check_no_32bit.sh
stage "host build" - host_build
if [[ $mode == quick ]]; then
  stage "host tests (quick)" - quick_host_tests
else
  stage "Windows CI workflow lint" lint "$linter" .github/workflows/windows.yml
  stage "tools' tests" - python3 -m unittest discover -s tools -p 'test_*.py'
  stage "host tests" - ctest --preset host -j "$jobs"
  # A bounded fuzzing campaign over the simulated machine: a minute a harness.
  stage "fuzz campaigns" - env SETUP_FUZZ_SECONDS="${SETUP_FUZZ_SECONDS:-60}" bash fuzz/run.sh
  stage "windows build" - windows_build
  stage "Setup.exe format and imports" - /usr/bin/python3 tests/binary/check_setup_exe.py build/windows/src/Setup.exe
  stage "reproducible build" - bash tests/binary/check_reproducible.sh
  stage "signing check (Wine prefix)" wine bash tests/binary/check_signing.sh build/windows
  stage "Win32 suite under Wine" wine bash tests/win32/run_under_wine.sh build/windows
  stage "end-to-end suites under Wine (incl. first-run kit)" wine bash tests/wine/run_tests.sh build/windows
fi

if [[ $list == 1 ]]; then
  echo "plan: $planned to run, $failed failed, $skipped skipped"
  exit $((failed > 0))
fi
echo
printf '%s\n' "${results[@]}"
echo "$passed passed, $failed failed, $skipped skipped"
exit $((failed > 0))
