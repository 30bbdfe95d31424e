#!/usr/bin/env bash
# A machine whose kernel refuses 32-bit programs, simulated by pointing the
# probe at a file the kernel refuses with ENOEXEC: the test command must plan
# its Wine stages as skipped (never passed) with the reason, count them as
# failures under SETUP_REQUIRE_WINE=1, and the demo must stop with the
# remedies and a non-zero status, not a traceback.
set -uo pipefail
cd "$(dirname "$0")/.."

refused=$(mktemp)
out=$(mktemp)
trap 'rm -f "$refused" "$out"' EXIT
printf 'not a program\0\1\2\3' >"$refused"
chmod +x "$refused"
export SETUP_PROBE_32BIT=$refused
bad=0
fail() { echo "check_no_32bit: $*" >&2; bad=1; }

bash scripts/test.sh --list >"$out" 2>&1
status=$?
[[ $status == 0 ]] || fail "skipped Wine stages made the plan fail (status $status)"
[[ $(grep -c '^== SKIP .*cannot run 32-bit programs' "$out") == 3 ]] ||
  fail "expected the three Wine stages skipped with the reason"
grep -q '^RUN .*Wine' "$out" && fail "a Wine stage was planned to run"
grep -Eq '^plan: [0-9]+ to run, 0 failed, [3-9] skipped$' "$out" || fail "closing line wrong: $(tail -n1 "$out")"
grep -q '^RUN   host build$' "$out" || fail "host build not planned"

SETUP_REQUIRE_WINE=1 bash scripts/test.sh --list >"$out" 2>&1 &&
  fail "SETUP_REQUIRE_WINE=1 did not fail the command"
grep -Eq '3 failed, [0-9]+ skipped$' "$out" || fail "SETUP_REQUIRE_WINE=1 closing line: $(tail -n1 "$out")"

bash scripts/demo.sh >"$out" 2>&1
status=$?
[[ $status != 0 ]] || fail "demo succeeded on a machine without 32-bit programs"
grep -q 'Traceback' "$out" && fail "demo ended in a traceback"
grep -q 'ia32_emulation=on' "$out" && grep -q "dmesg | grep '32-bit emulation'" "$out" &&
  grep -q 'binfmt_misc' "$out" || fail "demo's message lacks the check or the remedies"
exit $bad
