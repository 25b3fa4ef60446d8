#!/usr/bin/env bash
# Runs one aarch64 GoogleTest program under qemu-aarch64 and judges the run by
# what it wrote as well as by its exit status (scripts/lib/gtest-report.sh):
# a run counts only when the report says tests ran and passed.
#   qemu-gtest.sh PROGRAM REPORT.xml [GOOGLETEST ARGUMENTS...]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/qemu.sh"
source "$(dirname "${BASH_SOURCE[0]}")/gtest-report.sh"

program="$1"
report="$2"
shift 2
rm -f "$report"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

started=$SECONDS
drifton_qemu "$program" --gtest_output="xml:$report" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
judge_gtest_run qemu-aarch64 "$program" "$report" "$log" "$status" || exit 1
echo "qemu-aarch64: $(basename "$program") took $((SECONDS - started)) s"
