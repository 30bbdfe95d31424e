#!/usr/bin/env bash
# Builds the libFuzzer harnesses (the `fuzz` preset) and runs a campaign of
# each, starting from the seed runs and whatever corpus earlier campaigns
# left in build/fuzz/corpus. Prints one line per harness:
#   fuzz <harness> seconds=<n> executions=<n> corpus_added=<n> findings=<n>
# and exits nonzero at the first finding (a broken promise or a sanitizer
# report), whose input is kept in build/fuzz/findings.
#
#   SETUP_FUZZ_SECONDS  seconds per harness (default 60)
#   SETUP_FUZZ_JOBS     parallel fuzzing processes per harness (default 1)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${SETUP_FUZZ_SECONDS:-60}
jobs=${SETUP_FUZZ_JOBS:-1}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

bin=build/fuzz/fuzz
corpus=build/fuzz/corpus
findings=build/fuzz/findings
mkdir -p "$corpus/full_run" "$corpus/command_line" "$findings"
"$bin/write_fuzz_seeds" "$corpus/full_run"
# The launcher's line, then the system folder and the patch path in UTF-16,
# each after the bytes FF FE.
printf '"C:\\Patch Files\\Setup.exe" /qn PROP="a b"\377\376C\000:\000\\\000w\000\377\376C\000:\000\\\000P\000 \000' \
  >"$corpus/command_line/seed-quiet-run"

root=$(pwd)
status=0
for harness in full_run command_line; do
  log=$root/build/fuzz/$harness.log
  before=$(find "$corpus/$harness" -type f | wc -l)
  options=(-max_total_time="$seconds" -artifact_prefix="$root/$findings/$harness-" -print_final_stats=1)
  if [ "$jobs" -gt 1 ]; then options+=(-jobs="$jobs" -workers="$jobs"); fi
  set +e
  # Workers write fuzz-<n>.log into the current folder; the log gathers them.
  (cd build/fuzz && "$root/$bin/${harness}_fuzzer" "${options[@]}" "$root/$corpus/$harness" >"$log" 2>&1)
  result=$?
  set -e
  rm -f build/fuzz/fuzz-*.log
  executions=$(awk '/stat::number_of_executed_units/ {sum += $2} END {print sum + 0}' "$log")
  after=$(find "$corpus/$harness" -type f | wc -l)
  found=$(find "$findings" -name "$harness-*" -type f | wc -l)
  echo "fuzz $harness seconds=$seconds executions=$executions corpus_added=$((after - before)) findings=$found"
  if [ "$result" -ne 0 ] || [ "$found" -ne 0 ]; then
    # Lines cut short: a fuzzed name can run to thousands of units and
    # push the broken promise itself out of a CI log's view.
    grep -h -A20 -E 'broken|ERROR: (Address|Undefined|Leak)Sanitizer|runtime error' "$log" |
      cut -c1-300 | head -60 >&2 || true
    echo "error: $harness found a fault; input kept in $findings" >&2
    status=1
  fi
done
exit "$status"
