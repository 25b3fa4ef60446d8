#!/usr/bin/env bash
# The plug-in in a real DAW: Debian's Ardour, headless, with its Lua session
# tool and the Dummy audio backend. Ardour's own VST scanner indexes the
# plug-in; a first session puts it on a stereo track after a test tone at a
# set tempo, reads its name, vendor and parameters as Ardour holds them, sets
# non-default values, exports a few seconds and saves; a second session loads
# the saved one and reads the values back. scripts/ardour/analyse.py then
# checks the names, the values and the exported balance swinging with the
# period the tempo and the Period parameter imply.
#   scripts/ardour-check.sh [PATH/TO/KqDrifton.so]    (default: the release build)
set -euo pipefail

case "${1:-}" in
-h | --help)
    sed -n '2,10s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
    exit 0
    ;;
esac

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$PWD"
source scripts/lib/packages.sh

plugin="${1:-}"
if [[ -z $plugin ]]; then
    ensure_packages "${build_packages[@]}"
    cmake --preset release >/dev/null
    cmake --build build/release --target drifton -j "$(nproc 2>/dev/null || echo 2)"
    plugin=build/release/plugin/KqDrifton.so
fi
if [[ ! -f $plugin ]]; then
    echo "error: no plug-in file at $plugin" >&2
    exit 2
fi
ensure_packages "${daw_packages[@]}"

# What the check renders: 1/8 notes (Period 0.5 of 0..1) at 150 beats per
# minute, a triangle sweep at full width, shifted a quarter cycle.
tempo=150
seconds=4
parameters=(0.5 0 1 0.75)

work="$(mktemp -d "${TMPDIR:-/tmp}/drifton-ardour.XXXXXX")"
keep_work=0
trap '((keep_work)) || rm -rf "$work"' EXIT

ardour_lib=/usr/lib/ardour7
for needed in "$ardour_lib/luasession" "$ardour_lib/ardour-vst-scanner"; do
    if [[ ! -x $needed ]]; then
        echo "error: $needed is missing; is Debian's ardour installed?" >&2
        exit 1
    fi
done

# A fresh Ardour per run: its own home (configuration, plug-in cache, blacklist),
# the check's export preset in a data folder searched before the system's,
# and a VST folder holding only the plug-in under test.
prepare_home() {
    export HOME="$work/home"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
    mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts" "$work/data" "$work/vst"
    cat >"$XDG_CONFIG_HOME/ardour7/config" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
    <Option name="plugin-path-lxvst" value="$work/vst"/>
  </Config>
</Ardour>
XML
    cp "$root/scripts/ardour/test_tone.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"
    cp -r "$root/scripts/ardour/export" "$work/data/"
}

# Each session is bounded (a normal one takes 3 to 12 s here), and so are all
# of them together with their retries: no attempt runs past the deadline.
session_timeout=25
session_budget=75

luasession() {
    env LD_LIBRARY_PATH="$ardour_lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
        ARDOUR_DATA_PATH="$work/data:/usr/share/ardour7" ARDOUR_CONFIG_PATH=/etc/ardour7 \
        ARDOUR_DLL_PATH="$ardour_lib" VAMP_PATH="$ardour_lib/vamp" \
        LUA_PATH="$root/scripts/ardour/?.lua;;" LIBC_FATAL_STDERR_=1 \
        timeout "$1" "$ardour_lib/luasession" "${@:2}"
}

# What glibc prints when it finds its heap corrupted, just before it aborts.
heap_abort='double free or corruption|corrupted size vs\. prev_size|corrupted double-linked list|free\(\): invalid|malloc\(\): |malloc_consolidate\(\)|munmap_chunk\(\)|realloc\(\): invalid'

# Ardour crashes counted over the whole check: all of them, and those that
# happened while our plug-in was loaded.
crashes=0
crashes_alive=0

# Runs one session script, logging to $work/<name>.log.
# Ardour 7.3 itself corrupts its heap in its export and then crashes (double
# free, corrupted size, segmentation fault; backtraces end in the export
# graph's or the export channels' destructors), with or without our plug-in
# on the track: measured here in about one session in four at 1024-frame
# blocks, about 1 in 14 at the 256 frames common.lua sets. So a session
# killed by a signal, or one whose log holds glibc's heap-abort message,
# counts as an Ardour crash at any stage: it is logged with its stage and
# signal, and the whole session runs again, up to four attempts in all. The
# check fails when every attempt crashes (a plug-in that reliably crashes the
# host), when a session exits non-zero without a signal (a failed step or the
# timeout), or when the analysis fails. Crashes while the plug-in was loaded
# are counted apart and reported at the end.
run_session() {
    local name="$1" attempt attempts=4
    shift
    for ((attempt = 1; attempt <= attempts; attempt++)); do
        # A retried first session starts from nothing again.
        [[ $name == render_and_save ]] && rm -rf "$work/session" "$work/export"
        rm -f "$work/${name%%_*}.results"
        local log="$work/$name.log" status=0 limit=$((deadline - SECONDS))
        if ((limit < 5)); then
            keep_work=1
            echo "error: no time left for the $name session after $crashes Ardour crash(es) in this check" >&2
            return 1
        fi
        ((limit > session_timeout)) && limit=$session_timeout
        luasession "$limit" "$root/scripts/ardour/$name.lua" "$@" >"$log" 2>&1 || status=$?
        if ((status == 0)) && grep -q '^stage: session closed' "$log"; then
            return 0
        fi
        local stage signal=""
        stage="$(grep '^stage: ' "$log" | tail -n 1 | cut -c 8-)"
        if ((status > 128 && status != 124)); then
            signal="SIG$(kill -l $((status - 128)) 2>/dev/null || echo $((status - 128)))"
        elif grep -E -q "$heap_abort" "$log"; then
            signal="heap abort"
        fi
        if [[ -n $signal ]]; then
            local where="while the plug-in was loaded"
            case "$stage" in
            "plug-in closed" | "session closed") where="after the plug-in was closed" ;;
            "" | "session created") [[ $name == render_and_save ]] && where="before the plug-in was loaded" ;;
            esac
            ((++crashes))
            [[ $where == "while the plug-in was loaded" ]] && ((++crashes_alive))
            cp "$log" "$work/$name.crash$attempt.log"
            echo "note: Ardour crashed ($signal, status $status) in the $name session, attempt $attempt of $attempts," \
                "stage: ${stage:-none}, $where"
            ((attempt < attempts)) && continue
            keep_work=1
            echo "error: Ardour crashed in all $attempts attempts of the $name session; the end of the last log ($log):" >&2
        else
            keep_work=1
            local why="status $status"
            ((status == 124)) && why="the ${limit} s timeout"
            echo "error: the $name session failed with $why${stage:+ (stage: $stage)}; the end of its log ($log):" >&2
        fi
        grep -v -e '^MIDI Clock' -e '^MTC in' -e 'encoder is not available' "$log" | tail -n 25 >&2
        return 1
    done
}

start=$SECONDS
prepare_home
cp "$plugin" "$work/vst/KqDrifton.so"
# Measured: when the plug-in file was modified just before the scan, Ardour
# takes the scanner's cache entry for stale and does not list the plug-in.
# A file time a minute back (in whole seconds) avoids that.
touch -d "@$(($(date +%s) - 60))" "$work/vst/KqDrifton.so"

if ! LD_LIBRARY_PATH="$ardour_lib" "$ardour_lib/ardour-vst-scanner" -f -v "$work/vst/KqDrifton.so" >"$work/scan.log" 2>&1; then
    echo "error: Ardour's VST scanner rejected the plug-in:" >&2
    cat "$work/scan.log" >&2
    exit 1
fi
echo "Ardour's scanner: $(grep -o -m1 'Found Plugin.*' "$work/scan.log" || echo 'no plug-in reported')"
deadline=$((SECONDS + session_budget))
run_session render_and_save "$work" "$tempo" "$seconds" "${parameters[@]}"
run_session reload "$work"

if ! python3 "$root/scripts/ardour/analyse.py" --work "$work" --tempo "$tempo" --seconds "$seconds" \
    --parameters "${parameters[@]}"; then
    keep_work=1
    echo "error: the Ardour check failed; its files are in $work" >&2
    exit 1
fi
if ((crashes)); then
    echo "note: Ardour crashed $crashes time(s) in this check, $crashes_alive of them while the plug-in was loaded"
fi
echo "Ardour check passed in $((SECONDS - start)) s"
