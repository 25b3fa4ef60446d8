#!/usr/bin/env bash
# Runs the cross-built drifton-validate under Wine and judges the run by what
# it printed and wrote, since Wine can exit 0 after a crash: the closing line
# must count at least one passed check and none failed, every check must have
# its verdict line, and the JSON report must agree. With --expect-failure the
# run must instead fail exactly the check CHECK with a problem that mentions
# TEXT, and nothing else.
#   wine-validate.sh drifton-validate.exe REPORT.json [--expect-failure CHECK TEXT]
#                    [VALIDATOR ARGUMENTS...]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

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
    echo "FAILED under Wine: $(basename "$program"): $*" >&2
    exit 1
}

# The plug-in is looked up beside the program, as Windows does.
cd "$(dirname "$program")" || exit 1
drifton_wine "$program" --json "Z:$report" "$@" 2>&1 | tr -d '\r' | tee "$log"
status=${PIPESTATUS[0]}
closing="$(tail -n 1 "$log")"
[[ -s "$report" ]] || fail "no JSON report written"

if [[ -n "$expected_check" ]]; then
    grep -q "^FAIL  $expected_check .*$expected_text" "$log" ||
        fail "the check $expected_check did not fail with '$expected_text'"
    [[ "$closing" == "0 passed, 1 failed" ]] || fail "closing line is not '0 passed, 1 failed': $closing"
    grep -q '"failed": 1,' "$report" || fail "the JSON report does not count the failure"
    ((status == 1)) || fail "exit status $status, not 1"
    echo "Wine: $(basename "$program"): $expected_check failed as expected"
    exit 0
fi

checks="$(drifton_wine "$program" --list 2>&1 | tr -d '\r' | cut -d' ' -f1)"
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
echo "Wine: $(basename "$program"): $passed checks passed"
