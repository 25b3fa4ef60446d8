#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, ASan and UBSan) and runs
# each for the given number of seconds (default 60), starting from the seed
# corpus and every input that ever failed. Fails when any target finds a
# crash, a sanitizer error or a broken invariant; the failing input is kept
# under build/fuzz/artifacts/<target>/ and should go to fuzz/regressions/<target>/.
#   scripts/fuzz.sh [seconds] [target...]     targets: dispatcher parameters processing lv2
set -euo pipefail

usage() { sed -n '2,7s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }
case "${1:-}" in
-h | --help) usage; exit 0 ;;
esac

seconds="${1:-60}"
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "error: seconds must be a positive whole number, got '$seconds'" >&2
    exit 2
fi
shift || true
targets=("$@")
((${#targets[@]} > 0)) || targets=(dispatcher parameters processing lv2)

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib/packages.sh
ensure_packages "${build_packages[@]}" "${fuzz_packages[@]}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)"

work=build/fuzz/run
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

# One target: a scratch corpus seeded from the repository's, so the run never
# writes into the source tree.
run_target() {
    local target="$1" corpus="$work/corpus/$1" artifacts="build/fuzz/artifacts/$1/"
    rm -rf "$corpus" && mkdir -p "$corpus" "$artifacts"
    local seeds=("fuzz/corpus/$target")
    [[ -d fuzz/regressions/$target ]] && seeds+=("fuzz/regressions/$target")
    "build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 \
        -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" "${seeds[@]}" \
        >"$work/$target.log" 2>&1
}

# Targets run side by side, one per core.
mkdir -p "$work"
jobs="$(nproc 2>/dev/null || echo 2)"
declare -A pids=()
failed=()
for target in "${targets[@]}"; do
    if [[ ! -x build/fuzz/fuzz/fuzz_$target ]]; then
        echo "error: no fuzz target named '$target'" >&2
        exit 2
    fi
    while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done
    echo "fuzzing $target for ${seconds}s"
    run_target "$target" &
    pids[$target]=$!
done
for target in "${!pids[@]}"; do
    if ! wait "${pids[$target]}"; then
        failed+=("$target")
    fi
done

for target in "${targets[@]}"; do
    log="$work/$target.log"
    # A target that crashed prints no final statistics; that must not end the
    # script before its log is shown below.
    stats="$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}' || true)"
    coverage="$(grep -E '#[0-9]+[[:space:]]+(DONE|pulse)' "$log" | grep -oE 'cov: [0-9]+' | tail -1 || true)"
    echo "$target: ${stats:-?} runs, ${coverage:-no coverage line}"
done
if ((${#failed[@]} > 0)); then
    for target in "${failed[@]}"; do
        echo "--- $target failed; the end of its log:" >&2
        tail -n 40 "$work/$target.log" >&2
        echo "--- failing inputs in build/fuzz/artifacts/$target/" >&2
    done
    echo "error: fuzzing failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzzing passed: ${targets[*]}"
