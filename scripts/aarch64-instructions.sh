#!/usr/bin/env bash
# Instructions per stereo frame of processReplacing on aarch64, counted under
# qemu-aarch64: with -singlestep every translated block holds one guest
# instruction, and with -d nochain,exec qemu logs every block it executes, so
# the log's "Trace" lines count the instructions executed, exactly and free of
# timing. The driver (drifton-instructions, bench/instruction_driver.cpp) runs
# once with B and once with 2B blocks; the difference divided by B x FRAMES
# cancels the program's start and end. (Debian's qemu-user ships no
# instruction-counting plug-in.) Needs the linux-aarch64 build
# (scripts/test.sh linux-aarch64); takes a few minutes.
#   scripts/aarch64-instructions.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib/qemu.sh

build="${1:-build/linux-aarch64}"
driver="$build/bench/drifton-instructions"
[[ -x "$driver" ]] || { echo "error: $driver is missing: build the linux-aarch64 preset first" >&2; exit 1; }

# Guest instructions executed by one run of the driver with ARGUMENTS.
instructions() {
    local count
    count="$(drifton_qemu -singlestep -d nochain,exec -D /dev/stdout "$driver" "$@" | grep -c '^Trace')" ||
        { echo "error: $driver $* failed under qemu-aarch64" >&2; exit 1; }
    echo "$count"
}

# Instructions per frame of SUBJECT (a kernel path, or copy) at FRAMES frames
# a block, with SETTING (defaults or square-whole).
per_frame() {
    local subject="$1" frames="$2" setting="$3" blocks one two args
    blocks=$((8192 / frames))
    if [[ "$subject" == copy ]]; then
        args=(--subject=copy)
    else
        args=(--subject=effect "--path=$subject" "--setting=$setting")
    fi
    one="$(instructions "${args[@]}" "--frames=$frames" "--blocks=$blocks")"
    two="$(instructions "${args[@]}" "--frames=$frames" "--blocks=$((2 * blocks))")"
    awk -v a="$one" -v b="$two" -v n=$((blocks * frames)) 'BEGIN { printf "%.1f", (b - a) / n }'
}

printf '%-10s %-13s %10s %10s\n' path setting "block 64" "block 512"
for subject in neon baseline copy; do
    for setting in defaults square-whole; do
        [[ "$subject" == copy && "$setting" == square-whole ]] && continue
        printf '%-10s %-13s %10s %10s\n' "$subject" "$setting" \
            "$(per_frame "$subject" 64 "$setting")" "$(per_frame "$subject" 512 "$setting")"
    done
done
