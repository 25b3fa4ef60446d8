#!/usr/bin/env bash
# Runs drifton-validate on the plug-in of the builds that scripts/test.sh made:
#   release   every check at level 10
#   asan      every check at level 10 under AddressSanitizer and UBSan
#   tsan      the thread check at level 5 under ThreadSanitizer
#   valgrind  every check at level 1 of the dev build under memcheck, zero errors
# Usage: scripts/validate.sh [release|asan|tsan|valgrind]...  (default: all four)
# The seed is fixed so that CI is repeatable; VALIDATE_SEED picks another. The
# plug-in's declared bounds come from scripts/kq-drifton.profile.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib/packages.sh

seed="${VALIDATE_SEED:-20240611}"
tool() { echo "build/$1/tools/validate/drifton-validate"; }
plugin() { echo "build/$1/plugin/KqDrifton.so"; }
profile=scripts/kq-drifton.profile

run() {
    local build="$1"
    shift
    if [[ ! -x "$(tool "$build")" ]]; then
        echo "error: $(tool "$build") is missing; run scripts/test.sh $build first" >&2
        return 1
    fi
    echo "== drifton-validate ($build) $*"
    "$@"
}

modes=("$@")
((${#modes[@]} > 0)) || modes=(release asan tsan valgrind)
for mode in "${modes[@]}"; do
        case "$mode" in
        release)
            run release "$(tool release)" --plugin "$(plugin release)" --profile "$profile" \
                --level 10 --seed "$seed" --json build/release/validate-report.json
            ;;
        asan)
            ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1" \
                UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
                run asan "$(tool asan)" --plugin "$(plugin asan)" --profile "$profile" \
                --level 10 --seed "$seed"
            ;;
        tsan)
            TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
                run tsan "$(tool tsan)" --plugin "$(plugin tsan)" --profile "$profile" \
                --level 5 --seed "$seed" --only threads
            ;;
        valgrind)
            ensure_packages "${ci_packages[@]}"
            # Every check's child runs under memcheck too; one with errors
            # exits with 99 and fails its check.
            run dev valgrind --quiet --error-exitcode=99 --leak-check=full \
                --errors-for-leak-kinds=definite \
                "$(tool dev)" --plugin "$(plugin dev)" --profile "$profile" \
                --level 1 --seed "$seed" --time-limit 600
            ;;
        *)
            echo "error: unknown validation '$mode' (release, asan, tsan or valgrind)" >&2
            exit 2
            ;;
        esac
done
