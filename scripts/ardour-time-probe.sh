#!/usr/bin/env bash
# Measures what Debian's Ardour (headless) tells each plug-in format about
# time: a VST 2.4 probe and an LV2 probe (tests/ardour/) on two tracks of one
# session log what they receive; scripts/ardour/time_probe.py compares them.
# One session per case: 4/4, 6/8 and 7/8 with a quarter-note tempo marker,
# 6/8 with the marker in eighths; each at 144 quarter notes a minute with a
# change to 96 at the fifth quarter note, frame 100000, 160 frames into a
# 256-frame block.
#   scripts/ardour-time-probe.sh [BUILD_FOLDER]    (default: build/release)
set -euo pipefail

case "${1:-}" in
-h | --help)
    sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
    exit 0
    ;;
esac

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$PWD"
source scripts/lib/packages.sh
build="${1:-build/release}"
ensure_packages "${build_packages[@]}" lv2-dev "${daw_packages[@]}"
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake --preset release >/dev/null
fi
cmake --build "$build" --target ardour_time_probe_vst ardour_time_probe_lv2 -j "$(nproc 2>/dev/null || echo 2)"

work="$(mktemp -d "${TMPDIR:-/tmp}/drifton-time-probe.XXXXXX")"
source scripts/lib/ardour.sh
ardour_deadline=$((SECONDS + 300))
trap '((keep_work)) || rm -rf "$work"' EXIT
ardour_require
ardour_prepare_home
ardour_scan_vst "$build/tests/ardour/DriftonTimeProbe.so"
ardour_add_lv2 "$build/tests/ardour/drifton-time-probe.lv2" >/dev/null

seconds=4
tempo=144
change=(100000 96)
# name, meter beats, meter unit, the note value the tempo marker counts
cases=("4/4 4 4 4" "6/8 6 8 4" "6/8-eighths 6 8 8" "7/8 7 8 4")
for case in "${cases[@]}"; do
    read -r name beats unit note <<<"$case"
    probe="$work/probe-${name//\//-}"
    mkdir -p "$probe"
    DRIFTON_PROBE_DIR="$probe" ardour_session "probe-${name//\//-}" time_probe "$work/session" \
        "$work" "$seconds" "$tempo" "$beats" "$unit" "$note" "${change[@]}"
    echo "== $name (tempo marker in 1/$note notes)"
    python3 "$root/scripts/ardour/time_probe.py" --folder "$probe" --rate 48000 --change "${change[0]}"
done
echo "the logs are in $work"
keep_work=1
