#!/usr/bin/env bash
# Instructions per stereo frame of processReplacing, counted by valgrind's
# callgrind (exact and repeatable, unlike time on a shared machine), for each
# kernel path this CPU runs, each setting (the defaults, the square shape at
# 1/1, and the defaults at the triplet 1/12, whose cycle is not a power of
# two) and block sizes of 64 and 512 frames; beside them a plain copy of
# the buffers and the per-sample model. The last column is the per-block
# overhead: processReplacing's instructions outside the kernel (float mode,
# time request, settings, position, dispatch), per block.
#
# Usage: scripts/instructions.sh [--check] [--build DIR] [--figures FILE]
#   --check    fail (status 1) when a path costs more than 10 % above the
#              figure recorded for it in bench/instruction-figures.txt
#   --build    the build with drifton-instructions (default build/release)
#   --figures  the recorded figures (default bench/instruction-figures.txt)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

check=0
build=build/release
figures=bench/instruction-figures.txt
while (($# > 0)); do
    case "$1" in
    --check) check=1 ;;
    --build)
        build="${2:?--build needs a directory}"
        shift
        ;;
    --figures)
        figures="${2:?--figures needs a file}"
        shift
        ;;
    -h | --help)
        sed -n '2,15s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
        exit 0
        ;;
    *)
        echo "instructions.sh: unknown option '$1' (see --help)" >&2
        exit 2
        ;;
    esac
    shift
done

driver="$build/bench/drifton-instructions"
if [[ ! -x "$driver" ]]; then
    echo "instructions.sh: $driver is missing; build it with" \
        "'cmake --preset release && cmake --build build/release --target drifton_instructions'" >&2
    exit 1
fi
if ! command -v valgrind >/dev/null || ! command -v callgrind_annotate >/dev/null; then
    echo "instructions.sh: valgrind is missing (apt-get install valgrind)" >&2
    exit 1
fi
if [[ ! -r "$figures" ]]; then
    echo "instructions.sh: cannot read the recorded figures '$figures'" >&2
    exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# Frames per run: enough blocks that one-off costs vanish, few enough to stay quick.
total=65536
sizes=(64 512)

# count SUBJECT_FUNCTION ARGS...: runs the driver under callgrind, counting
# only inside SUBJECT_FUNCTION; prints "total kernel" instructions, kernel
# being the inclusive count of the path's process function (0 if none).
count() {
    local function="$1"
    shift
    local out="$work/callgrind.out"
    # Bound at start-up, so that no lazy symbol lookup lands in the count.
    if ! LD_BIND_NOW=1 valgrind --tool=callgrind --callgrind-out-file="$out" \
        --collect-atstart=no --toggle-collect="$function" "$driver" "$@" \
        >"$work/driver.log" 2>"$work/valgrind.log"; then
        echo "instructions.sh: the driver failed under callgrind ($*):" >&2
        tail -5 "$work/driver.log" "$work/valgrind.log" >&2
        return 1
    fi
    local totals kernel
    totals="$(awk '/^(summary|totals):/ { print $2; exit }' "$out")"
    # The kernel paths' process functions all take (SmoothingFilter&,
    # BlockSettings const&, StereoBlock const&) and live in drifton::kernel.
    kernel="$(callgrind_annotate --inclusive=yes --threshold=100 "$out" 2>/dev/null |
        awk '/drifton::kernel::process[A-Za-z0-9]*\(drifton::SmoothingFilter&/ {
                 gsub(",", "", $1); print $1; exit }')"
    echo "${totals:-0} ${kernel:-0}"
}

perFrame() { awk -v n="$1" -v d="$2" 'BEGIN { printf "%.1f", n / d }'; }

recorded() {
    awk -v p="$1" -v s="$2" -v f="$3" '!/^#/ && $1 == p && $2 == s && $3 == f { print $4 }' \
        "$figures"
}

printf '%-10s %-13s %9s %9s %10s %10s %16s\n' "subject" "setting" "64" "512" \
    "rec. 64" "rec. 512" "overhead/block"
failures=()
row() {
    local subject="$1" path="$2" setting="$3" function="$4"
    local cells=() rec=() overhead=""
    for frames in "${sizes[@]}"; do
        local blocks=$((total / frames)) result totals kernel measured limit
        local args=(--subject="$subject" --frames="$frames" --blocks="$blocks")
        [[ "$path" == - ]] || args+=(--path="$path")
        [[ "$setting" == - ]] || args+=(--setting="$setting")
        result="$(count "$function" "${args[@]}")"
        read -r totals kernel <<<"$result"
        measured="$(perFrame "$totals" "$total")"
        cells+=("$measured")
        if [[ "$subject" == effect && "$frames" == 64 ]]; then
            overhead="$(perFrame "$((totals - kernel))" "$blocks")"
        fi
        limit="$(recorded "$path" "$setting" "$frames")"
        rec+=("${limit:--}")
        if [[ "$subject" == effect && -n "$limit" ]] &&
            awk -v m="$measured" -v r="$limit" 'BEGIN { exit !(m > 1.10 * r) }'; then
            failures+=("$path $setting at $frames frames: $measured > $limit + 10 %")
        fi
    done
    local name="$path"
    [[ "$subject" == effect ]] || name="$subject"
    printf '%-10s %-13s %9s %9s %10s %10s %16s\n' "$name" "$setting" "${cells[@]}" "${rec[@]}" \
        "$overhead"
}

for path in baseline avx2+fma; do
    if ! "$driver" --path="$path" --blocks=1 --frames=1 >/dev/null 2>&1; then
        echo "($path: not run by this CPU)"
        continue
    fi
    for setting in defaults square-whole triplet; do
        row effect "$path" "$setting" '*processReplacingThunk*'
    done
done
row copy - - '*copyBuffers*'
for setting in defaults square-whole triplet; do
    row model - "$setting" 'PanModel::process*'
done

if ((check)); then
    if ((${#failures[@]} > 0)); then
        printf 'instructions.sh: slower than recorded: %s\n' "${failures[@]}" >&2
        exit 1
    fi
    echo "instructions.sh: every path within 10 % of its recorded figure ($figures)"
fi
