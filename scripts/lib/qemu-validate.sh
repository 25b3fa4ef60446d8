#!/usr/bin/env bash
# Runs the aarch64 drifton-validate under qemu-aarch64 against an aarch64
# plug-in and judges the run by what it printed and wrote as well as by its
# exit status: the closing line must count at least one passed check and none
# failed, every check must have its verdict line, and the JSON report must
# agree. With --expect-failure the run must instead fail exactly the check
# CHECK with a problem that mentions TEXT, and nothing else.
#   qemu-validate.sh drifton-validate REPORT.json [--expect-failure CHECK TEXT]
#                    [VALIDATOR ARGUMENTS...]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/qemu.sh"

program="$1"
report="$2"
shift 2
expected_check=""
if [[ "${1:-}" == "--expect-failure" ]]; then
    expected_check="$2"
    expected_text="$3"
    shift 3
fi
rm -f "$report"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

fail() {
    echo "FAILED under qemu-aarch64: $(basename "$program"): $*" >&2
    exit 1
}

started=$SECONDS
drifton_qemu "$program" --json "$report" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
closing="$(tail -n 1 "$log")"
[[ -s "$report" ]] || fail "no JSON report written"

if [[ -n "$expected_check" ]]; then
    grep -q "^FAIL  $expected_check .*$expected_text" "$log" ||
        fail "the check $expected_check did not fail with '$expected_text'"
    [[ "$closing" == "0 passed, 1 failed" ]] || fail "closing line is not '0 passed, 1 failed': $closing"
    grep -q '"failed": 1,' "$report" || fail "the JSON report does not count the failure"
    ((status == 1)) || fail "exit status $status, not 1"
    echo "qemu-aarch64: $(basename "$program"): $expected_check failed as expected"
    exit 0
fi

checks="$(drifton_qemu "$program" --list 2>&1 | cut -d' ' -f1)"
[[ -n "$checks" ]] || fail "--list printed no checks"
for check in $checks; do
    grep -Eq "^(PASS|SKIP)  $check " "$log" || fail "no PASS or SKIP line for the check $check"
done
[[ "$closing" =~ ^([0-9]+)\ passed,\ 0\ failed(,\ [0-9]+\ skipped)?$ ]] ||
    fail "closing line is not 'N passed, 0 failed': $closing"
passed="${BASH_REMATCH[1]}"
((passed > 0)) || fail "no check passed"
grep -q "\"passed\": $passed," "$report" && grep -q '"failed": 0,' "$report" ||
    fail "the JSON report does not say $passed passed, 0 failed"
((status == 0)) || fail "exit status $status"
echo "qemu-aarch64: $(basename "$program"): $passed checks passed in $((SECONDS - started)) s"
