#!/usr/bin/env bash
# Runs one cross-built GoogleTest program under Wine and judges the run by
# what it wrote, since Wine can exit 0 after a crash: GoogleTest's XML report
# must exist, count at least one test run and no failure or error, and the
# program must have printed its closing PASSED line.
#   wine-gtest.sh PROGRAM.exe REPORT.xml [GOOGLETEST ARGUMENTS...]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

program="$1"
report="$2"
shift 2
rm -f "$report"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

# Relative to the working folder, which Wine maps to a drive of its own.
cd "$(dirname "$report")" || exit 1
drifton_wine "$program" --gtest_output="xml:$(basename "$report")" "$@" 2>&1 | tr -d '\r' | tee "$log"
status=${PIPESTATUS[0]}

fail() {
    echo "FAILED under Wine: $program: $*" >&2
    exit 1
}
[[ -s "$report" ]] || fail "no XML report written (exit status $status)"
summary="$(grep -m1 -o '<testsuites [^>]*>' "$report")" || fail "no <testsuites> element in $report"
attribute() { sed -n "s/.* $1=\"\([0-9]*\)\".*/\1/p" <<<"$summary"; }
tests="$(attribute tests)"
failures="$(attribute failures)"
errors="$(attribute errors)"
disabled="$(attribute disabled)"
skipped="$(grep -c '<skipped' "$report")"
passed=$((tests - disabled - skipped))
((passed > 0)) || fail "no test passed"
((failures == 0 && errors == 0)) || fail "$failures failures, $errors errors of $tests tests"
grep -q "^\[  PASSED  \] $passed test" "$log" || fail "no closing PASSED line for $passed tests"
((status == 0)) || fail "exit status $status"
echo "Wine: $(basename "$program"): $passed tests passed, $skipped skipped"
