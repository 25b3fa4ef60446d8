#!/usr/bin/env bash
# Runs one cross-built GoogleTest program under Wine and judges the run by
# what it wrote, since Wine can exit 0 after a crash (scripts/lib/gtest-report.sh).
#   wine-gtest.sh PROGRAM.exe REPORT.xml [GOOGLETEST ARGUMENTS...]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"
source "$(dirname "${BASH_SOURCE[0]}")/gtest-report.sh"

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
judge_gtest_run Wine "$program" "$report" "$log" "$status"
