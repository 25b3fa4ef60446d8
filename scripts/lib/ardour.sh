# Running Debian's Ardour headless for the checks in a real DAW: a private
# home per run, the Lua session tool, and sessions with bounded time and
# retries on Ardour's own crashes. Sourced by scripts/ardour-check.sh and
# scripts/ardour-time-probe.sh, after they set `root` (the checkout) and
# `work` (an empty folder of their own).

ardour_lib=/usr/lib/ardour7

# Fails with a one-line reason when Ardour's pieces are missing.
ardour_require() {
    local needed
    for needed in "$ardour_lib/luasession" "$ardour_lib/ardour-vst-scanner"; do
        if [[ ! -x $needed ]]; then
            echo "error: $needed is missing; is Debian's ardour installed?" >&2
            return 1
        fi
    done
}

# A fresh Ardour per run: its own home (configuration, plug-in cache,
# blacklist), the check's export preset in a data folder searched before the
# system's, a VST folder ($work/vst) and an LV2 folder ($work/lv2, the only
# one Ardour searches) for the plug-ins under test, and the test signals.
ardour_prepare_home() {
    export HOME="$work/home"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
    export LV2_PATH="$work/lv2"
    mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts" "$work/data" "$work/vst" "$work/lv2"
    cat >"$XDG_CONFIG_HOME/ardour7/config" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
    <Option name="plugin-path-lxvst" value="$work/vst"/>
  </Config>
</Ardour>
XML
    cp "$root/scripts/ardour/test_tone.lua" "$root/scripts/ardour/test_level.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"
    cp -r "$root/scripts/ardour/export" "$work/data/"
}

# Copies a VST plug-in into $work/vst and has Ardour's own scanner index it.
ardour_scan_vst() {
    local file="$1" copy
    copy="$work/vst/$(basename "$file")"
    cp "$file" "$copy"
    # Measured: when the plug-in file was modified just before the scan, Ardour
    # takes the scanner's cache entry for stale and does not list the plug-in.
    # A file time a minute back (in whole seconds) avoids that.
    touch -d "@$(($(date +%s) - 60))" "$copy"
    if ! LD_LIBRARY_PATH="$ardour_lib" "$ardour_lib/ardour-vst-scanner" -f -v "$copy" >"$work/scan.log" 2>&1; then
        echo "error: Ardour's VST scanner rejected $file:" >&2
        cat "$work/scan.log" >&2
        return 1
    fi
    echo "Ardour's VST scanner: $(grep -o -m1 'Found Plugin.*' "$work/scan.log" || echo 'no plug-in reported')"
}

# Copies an LV2 bundle into $work/lv2 and prints its plug-in's URI, the
# first subject of its manifest.
ardour_add_lv2() {
    local bundle="${1%/}" uri
    if [[ ! -f $bundle/manifest.ttl ]]; then
        echo "error: no LV2 bundle at $bundle (no manifest.ttl)" >&2
        return 1
    fi
    cp -r "$bundle" "$work/lv2/"
    uri="$(sed -n 's/^<\([^>]*\)>.*/\1/p' "$bundle/manifest.ttl" | head -n 1)"
    if [[ -z $uri ]]; then
        echo "error: $bundle/manifest.ttl names no plug-in" >&2
        return 1
    fi
    echo "$uri"
}

# Each session is bounded (a normal one takes 2 to 12 s here), and so are all
# of them together with their retries (ardour_deadline, in $SECONDS): no
# attempt runs past the deadline.
session_timeout=25
ardour_deadline=$((SECONDS + 150))

ardour_luasession() {
    env LD_LIBRARY_PATH="$ardour_lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
        ARDOUR_DATA_PATH="$work/data:/usr/share/ardour7" ARDOUR_CONFIG_PATH=/etc/ardour7 \
        ARDOUR_DLL_PATH="$ardour_lib" VAMP_PATH="$ardour_lib/vamp" \
        LUA_PATH="$root/scripts/ardour/?.lua;;" LIBC_FATAL_STDERR_=1 \
        timeout "$1" "$ardour_lib/luasession" "${@:2}"
}

# What glibc prints when it finds its heap corrupted, just before it aborts.
heap_abort='double free or corruption|corrupted size vs\. prev_size|corrupted double-linked list|free\(\): invalid|malloc\(\): |malloc_consolidate\(\)|munmap_chunk\(\)|realloc\(\): invalid'

# Ardour crashes counted over the whole run: all of them, and those that
# happened while a plug-in under test was loaded.
crashes=0
crashes_alive=0
# Set when a failure leaves the work folder for inspection.
keep_work=0

# Runs one session script, logging to $work/<label>.log:
#   ardour_session LABEL SCRIPT FRESH_FOLDER [ARGUMENTS...]
# FRESH_FOLDER (may be empty) is removed before each attempt, so that a
# retried session that creates one starts from nothing again.
# Ardour 7.3 itself corrupts its heap in its export and then crashes (double
# free, corrupted size, segmentation fault; backtraces end in the export
# graph's or the export channels' destructors), with or without our plug-in
# on the track: measured here in about one session in four at 1024-frame
# blocks, about 1 in 14 at the 256 frames common.lua sets, but about one in
# two for the two-track session with eighth-note tempo markers (10 of 19
# attempts in one evening's runs; under gdb every backtrace ends in the
# export's own objects: PortExportChannel, Interleaver, ExportPreset; under
# valgrind neither edition makes an invalid access in that session). So a
# session killed by a signal, or one whose log holds glibc's heap-abort
# message, counts as an Ardour crash at any stage: it is logged with its
# stage and signal, and the whole session runs again, up to eight attempts
# in all (at one in two, all eight crash in 1 run of 256). It
# fails when every attempt crashes (a plug-in that reliably crashes the host)
# or when a session exits non-zero without a signal (a failed step or the
# timeout). Crashes while a plug-in was loaded are counted apart.
ardour_session() {
    local label="$1" script="$2" fresh="$3" attempt attempts=8
    shift 3
    for ((attempt = 1; attempt <= attempts; attempt++)); do
        [[ -n $fresh ]] && rm -rf "$fresh"
        local log="$work/$label.log" status=0 limit=$((ardour_deadline - SECONDS))
        if ((limit < 5)); then
            keep_work=1
            echo "error: no time left for the $label session after $crashes Ardour crash(es) in this run" >&2
            return 1
        fi
        ((limit > session_timeout)) && limit=$session_timeout
        local started=$SECONDS
        ardour_luasession "$limit" "$root/scripts/ardour/$script.lua" "$@" >"$log" 2>&1 || status=$?
        if ((status == 0)) && grep -q '^stage: session closed' "$log"; then
            echo "session $label: $((SECONDS - started)) s"
            return 0
        fi
        local stage signal=""
        stage="$(grep '^stage: ' "$log" | tail -n 1 | cut -c 8- || true)"
        if ((status > 128 && status != 124)); then
            signal="SIG$(kill -l $((status - 128)) 2>/dev/null || echo $((status - 128)))"
        elif grep -E -q "$heap_abort" "$log"; then
            signal="heap abort"
        fi
        if [[ -n $signal ]]; then
            local where="while the plug-in was loaded"
            case "$stage" in
            "plug-in closed" | "session closed") where="after the plug-in was closed" ;;
            "" | "session created") [[ $script != reload ]] && where="before the plug-in was loaded" ;;
            esac
            ((++crashes))
            [[ $where == "while the plug-in was loaded" ]] && ((++crashes_alive))
            cp "$log" "$work/$label.crash$attempt.log"
            echo "note: Ardour crashed ($signal, status $status) in the $label session, attempt $attempt of $attempts," \
                "stage: ${stage:-none}, $where"
            ((attempt < attempts)) && continue
            keep_work=1
            echo "error: Ardour crashed in all $attempts attempts of the $label session; the end of the last log ($log):" >&2
        else
            keep_work=1
            local why="status $status"
            ((status == 124)) && why="the ${limit} s timeout"
            echo "error: the $label session failed with $why${stage:+ (stage: $stage)}; the end of its log ($log):" >&2
        fi
        grep -v -e '^MIDI Clock' -e '^MTC in' -e 'encoder is not available' "$log" | tail -n 25 >&2
        return 1
    done
}
