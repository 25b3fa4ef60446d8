#!/usr/bin/env bash
# Judges a GoogleTest run by what it wrote, for runs under an emulator or
# compatibility layer whose exit status alone is not trusted: the XML report
# must exist, count at least one test run and no failure or error, and the
# program must have printed its closing PASSED line. Sourced; defines
# judge_gtest_run, which prints one line and returns non-zero on a bad run.
#   judge_gtest_run RUNNER PROGRAM REPORT.xml LOG EXIT-STATUS

judge_gtest_run() {
    local runner="$1" program="$2" report="$3" log="$4" status="$5"
    local summary tests failures errors disabled skipped passed
    _gtest_fail() {
        echo "FAILED under $runner: $program: $*" >&2
        return 1
    }
    [[ -s "$report" ]] || { _gtest_fail "no XML report written (exit status $status)"; return 1; }
    summary="$(grep -m1 -o '<testsuites [^>]*>' "$report")" ||
        { _gtest_fail "no <testsuites> element in $report"; return 1; }
    _gtest_attribute() { sed -n "s/.* $1=\"\([0-9]*\)\".*/\1/p" <<<"$summary"; }
    tests="$(_gtest_attribute tests)"
    failures="$(_gtest_attribute failures)"
    errors="$(_gtest_attribute errors)"
    disabled="$(_gtest_attribute disabled)"
    skipped="$(grep -c '<skipped' "$report")"
    passed=$((tests - disabled - skipped))
    ((passed > 0)) || { _gtest_fail "no test passed"; return 1; }
    ((failures == 0 && errors == 0)) ||
        { _gtest_fail "$failures failures, $errors errors of $tests tests"; return 1; }
    grep -q "^\[  PASSED  \] $passed test" "$log" ||
        { _gtest_fail "no closing PASSED line for $passed tests"; return 1; }
    ((status == 0)) || { _gtest_fail "exit status $status"; return 1; }
    echo "$runner: $(basename "$program"): $passed tests passed, $skipped skipped"
}
