#!/usr/bin/env bash
# Both editions in a real DAW: Debian's Ardour, headless, with its Lua session
# tool and the Dummy audio backend. For each edition given, a first session
# puts it on a stereo track after a test tone at 150 beats per minute, reads
# its name, vendor and controls as Ardour holds them, sets Period 1/8,
# Triangle, Width 100 % and PhaseShift +90, saves and exports four seconds; a
# second session loads the saved one and reads the values back. With both
# editions, a third session in 6/8 puts them on two tracks with the same
# settings through a tempo change inside a block and exports both, once with
# tempo markers in quarter notes and once in eighths.
# scripts/ardour/analyse.py then checks names, values (for the LV2 edition
# also as stored by port symbol), the exported sweep periods and, for the two
# tracks, that each follows the tempo map and that they match.
#   scripts/ardour-check.sh [--marker-note=4|8] [KqDrifton.so] [kq-drifton.lv2]
# A file is taken as the VST edition, a folder as the LV2 bundle; without
# plug-in arguments both are built with the release preset. Tempo markers in
# eighth notes keep the speed, but Ardour then tells LV2 plug-ins the tempo
# in eighths per minute; --marker-note=4 or =8 runs the two-track session
# with that marker only.
set -euo pipefail

vst="" lv2="" marker_notes=(4 8) plugins=0
for argument in "$@"; do
    case "$argument" in
    -h | --help)
        sed -n '2,20s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
        exit 0
        ;;
    --marker-note=4 | --marker-note=8)
        marker_notes=("${argument#*=}")
        continue
        ;;
    -*)
        echo "error: unknown option $argument (see --help)" >&2
        exit 2
        ;;
    esac
    if [[ -d $argument ]]; then
        lv2="$argument"
    elif [[ -f $argument ]]; then
        vst="$argument"
    else
        echo "error: no plug-in file or LV2 bundle at $argument" >&2
        exit 2
    fi
    ((++plugins))
done

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$PWD"
source scripts/lib/packages.sh

if ((plugins == 0)); then
    ensure_packages "${build_packages[@]}" lv2-dev
    cmake --preset release >/dev/null
    cmake --build build/release --target drifton drifton_lv2_plugin -j "$(nproc 2>/dev/null || echo 2)"
    vst=build/release/plugin/KqDrifton.so
    lv2=build/release/lv2/kq-drifton.lv2
fi
ensure_packages "${daw_packages[@]}"

work="$(mktemp -d "${TMPDIR:-/tmp}/drifton-ardour.XXXXXX")"
source scripts/lib/ardour.sh
trap '((keep_work)) || rm -rf "$work"' EXIT
ardour_require

# What the check renders: 1/8 notes at 150 beats per minute, a triangle sweep
# at full width, shifted a quarter cycle; as host values for the VST edition
# (Period 0.5 of 0..1 selects 1/8) and in plain units for the LV2 edition
# (the Period scale point 5 is 1/8).
tempo=150
seconds=4
vst_values=(0.5 0 1 0.75)
lv2_values=(5 0 100 90)
# The two-track session: 6/8 at 144 quarter notes per minute, where a beat is
# 20000 frames, so the change to 96 at the fifth quarter note (frame 100000)
# falls 160 frames into a 256-frame block.
pair_seconds=5
pair_tempo=144
pair_meter=(6 8)
pair_change=(100000 96)

start=$SECONDS
ardour_prepare_home
analyse=(python3 "$root/scripts/ardour/analyse.py")
failed=0
if [[ -n $vst ]]; then
    ardour_scan_vst "$vst"
    ardour_session vst.render render_and_save "$work/vst-check" "$work" vst "$work/vst" "$tempo" "$seconds" "${vst_values[@]}"
    ardour_session vst.reload reload "" "$work" vst
    "${analyse[@]}" edition --work "$work" --edition vst --tempo "$tempo" --seconds "$seconds" \
        --values "${vst_values[@]}" || failed=1
fi
if [[ -n $lv2 ]]; then
    uri="$(ardour_add_lv2 "$lv2")"
    echo "LV2 bundle: $uri"
    ardour_session lv2.render render_and_save "$work/lv2-check" "$work" lv2 "$uri" "$tempo" "$seconds" "${lv2_values[@]}"
    ardour_session lv2.reload reload "" "$work" lv2
    "${analyse[@]}" edition --work "$work" --edition lv2 --tempo "$tempo" --seconds "$seconds" \
        --values "${lv2_values[@]}" || failed=1
fi
if [[ -n $vst && -n $lv2 ]]; then
    for note in "${marker_notes[@]}"; do
        name=pair
        ((note == 4)) || name="pair-$note"
        ardour_session "$name" two_editions "$work/$name" "$work" "$work/vst" "$uri" "$pair_seconds" \
            "$pair_tempo" "${pair_meter[@]}" "${pair_change[@]}" "${vst_values[@]}" "${lv2_values[@]}" "$note"
        "${analyse[@]}" pair --work "$work" --name "$name" --seconds "$pair_seconds" --tempo "$pair_tempo" \
            --change "${pair_change[@]}" --vst-values "${vst_values[@]}" --lv2-values "${lv2_values[@]}" \
            --marker-note "$note" || failed=1
    done
fi

if ((failed)); then
    keep_work=1
    echo "error: the Ardour check failed; its files are in $work" >&2
    exit 1
fi
if ((crashes)); then
    echo "note: Ardour crashed $crashes time(s) in this check, $crashes_alive of them while a plug-in was loaded"
fi
echo "Ardour check passed in $((SECONDS - start)) s"
