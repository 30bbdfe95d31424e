#!/usr/bin/env bash
# A machine whose kernel refuses 32-bit programs, simulated by pointing the
# probe at a file the kernel refuses with ENOEXEC: the test command must plan
# its Wine stages as skipped (never passed) with the reason, count them as
# failures under SETUP_REQUIRE_WINE=1, and the demo must stop with the
# remedies and a non-zero status, not a traceback. And a temporary folder that
# runs no program (mounted noexec) must not be taken for such a kernel.
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
# Where a mount namespace can be had (root), a noexec temporary folder must
# leave the probe's answer as it is without one.
noexec=$(mktemp -d)
env -u SETUP_PROBE_32BIT python3 scripts/can_run_32bit.py
expected=$?
if unshare -m sh -c 'mount -t tmpfs -o noexec tmpfs "$1"' sh "$noexec" 2>/dev/null; then
  env -u SETUP_PROBE_32BIT unshare -m sh -c \
    'mount -t tmpfs -o noexec tmpfs "$1" && TMPDIR="$1" python3 scripts/can_run_32bit.py' sh "$noexec"
  got=$?
  [[ $got == "$expected" ]] ||
    fail "a noexec temporary folder changed the 32-bit probe's answer ($expected, then $got)"
else
  echo "check_no_32bit: the noexec case is not checked here (no mount namespace)" >&2
fi
rmdir "$noexec"
exit $bad
