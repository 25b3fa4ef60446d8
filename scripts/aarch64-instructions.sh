#!/usr/bin/env bash
# Instructions per stereo frame of processReplacing on aarch64, counted under
# qemu-aarch64: with -singlestep every translated block holds one guest
# instruction, and with -d nochain,exec qemu logs every block it executes, so
# the log's "Trace" lines count the instructions executed, exactly and free of
# timing. The driver (bench/process_driver.cpp) runs once with B and once with
# 2B blocks; the difference divided by B x FRAMES cancels the program's start
# and end. Debian's qemu-user ships no instruction-counting plug-in, hence
# this. Needs the linux-aarch64 build (scripts/test.sh linux-aarch64).
#   scripts/aarch64-instructions.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib/qemu.sh

build="${1:-build/linux-aarch64}"
driver="$build/bench/drifton_process_driver"
[[ -x "$driver" ]] || { echo "error: $driver is missing: build the linux-aarch64 preset first" >&2; exit 1; }

# Guest instructions executed by one run of the driver.
instructions() {
    drifton_qemu -singlestep -d nochain,exec -D /dev/stdout "$driver" "$@" | grep -c '^Trace'
}

# Instructions per frame of PATH at FRAMES frames a block, setting SETTING.
per_frame() {
    local path="$1" frames="$2" setting="$3" blocks one two
    blocks=$((8192 / frames))
    ((blocks > 0)) || blocks=1
    one="$(instructions "$path" "$frames" "$blocks" "$setting")"
    two="$(instructions "$path" "$frames" $((2 * blocks)) "$setting")"
    awk -v a="$one" -v b="$two" -v n=$((blocks * frames)) 'BEGIN { printf "%.1f", (b - a) / n }'
}

printf '%-10s %-9s %10s %10s\n' path setting "block 64" "block 512"
for path in neon baseline copy; do
    for setting in defaults square; do
        [[ "$path" == copy && "$setting" == square ]] && continue
        printf '%-10s %-9s %10s %10s\n' "$path" "$setting" \
            "$(per_frame "$path" 64 "$setting")" "$(per_frame "$path" 512 "$setting")"
    done
done
