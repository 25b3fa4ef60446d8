#!/usr/bin/env python3
"""Compares what Ardour told the VST and the LV2 time probes in one session.

Reads FOLDER/vst.log and FOLDER/lv2.log (tests/ardour/time_probe_*.cpp) and
prints: which keys the LV2 time:Position events carried, how many events per
block and at which offsets, the tempo each format was given, and how far the
LV2 position, taken as quarter notes by two readings of bar and barBeat, lies
from the VST song position at the same frame while rolling.
Standard library only; exit status 1 when a log is missing or unreadable.
"""
import argparse
import collections
import math
import os
import sys


def read_vst(path):
    """Per block: the fields of the time information, by sample position."""
    blocks = []
    with open(path, encoding="utf-8") as file:
        for line in file:
            words = line.split()
            if words[0] != "block" or words[3] == "none":
                continue
            fields = dict(zip(words[3::2], words[4::2]))
            blocks.append({"frames": int(words[2]), "samplePos": float(fields["samplePos"]),
                           "ppqPos": float(fields["ppqPos"]), "tempo": float(fields["tempo"]),
                           "timeSig": fields["timeSig"], "flags": int(fields["flags"])})
    return blocks


def read_lv2(path):
    """Blocks as (frames, [events]); an event is (offset, {key: value})."""
    blocks = []
    with open(path, encoding="utf-8") as file:
        for line in file:
            words = line.split()
            if words[0] == "block":
                blocks.append((int(words[2]), []))
            elif words[0] == "event":
                offset, key, value = int(words[2]), words[4], float(words[5])
                events = blocks[-1][1]
                if not events or events[-1][0] != offset or key in events[-1][1]:
                    events.append((offset, {}))
                events[-1][1][key] = value
    return blocks


def quarters(event, fraction_in_quarters):
    """The song position in quarter notes from bar, beatsPerBar and barBeat
    (beats of beatUnit); the fraction of barBeat read as quarter notes or as
    beats of beatUnit."""
    bar, per_bar, bar_beat, unit = event["bar"], event["beatsPerBar"], event["barBeat"], event["beatUnit"]
    whole = math.floor(bar_beat)
    if fraction_in_quarters:
        return (bar * per_bar + whole) * 4 / unit + (bar_beat - whole)
    return (bar * per_bar + bar_beat) * 4 / unit


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--folder", required=True, help="the folder holding vst.log and lv2.log")
    parser.add_argument("--rate", type=float, default=48000)
    parser.add_argument("--change", type=int, required=True, help="the frame of the tempo change")
    args = parser.parse_args()
    try:
        vst = read_vst(os.path.join(args.folder, "vst.log"))
        lv2 = read_lv2(os.path.join(args.folder, "lv2.log"))
    except (OSError, ValueError, KeyError, IndexError) as error:
        print(f"error: {error}", file=sys.stderr)
        return 1

    events = [(b, offset, keys) for b, (_, list_) in enumerate(lv2) for offset, keys in list_]
    keys = collections.Counter(key for _, _, k in events for key in k)
    with_events = sum(1 for _, list_ in lv2 if list_)
    per_block = collections.Counter(len(list_) for _, list_ in lv2)
    inside = [(b, offset) for b, offset, _ in events if offset != 0]
    print(f"lv2: {len(events)} events in {len(lv2)} blocks ({with_events} blocks with events); "
          f"events per block {dict(sorted(per_block.items()))}; events not at offset 0: {inside[:5] or 'none'}")
    print("lv2 keys: " + ", ".join(f"{k} x{n}" for k, n in sorted(keys.items())))
    rolling = [k for _, _, k in events if k.get("speed", 0) != 0 and "frame" in k]
    stopped = [k for _, _, k in events if k.get("speed", 1) == 0]
    print(f"lv2: {len(rolling)} events while rolling, {len(stopped)} stopped; "
          f"beatUnit/beatsPerBar sent {sorted({(k.get('beatUnit'), k.get('beatsPerBar')) for _, _, k in events})}")

    by_frame = {}
    for block in vst:
        if block["flags"] & 2:  # playing
            by_frame.setdefault(int(block["samplePos"]), block)
    print(f"vst: {len(vst)} blocks, time signature {sorted({b['timeSig'] for b in vst})}")

    worst = {True: 0.0, False: 0.0}
    matched = 0
    tempos = collections.Counter()
    for event in rolling:
        block = by_frame.get(int(event["frame"]))
        if block is None or not all(k in event for k in ("bar", "barBeat", "beatsPerBar", "beatUnit")):
            continue
        matched += 1
        for reading in worst:
            worst[reading] = max(worst[reading], abs(quarters(event, reading) - block["ppqPos"]))
        tempos[(event.get("beatsPerMinute"), block["tempo"])] += 1
    print(f"{matched} rolling lv2 events matched to a vst block at the same frame; "
          f"largest distance to the vst song position, in quarter notes: "
          f"fraction of barBeat as quarter notes {worst[True]:.3g}, as beatUnit beats {worst[False]:.3g}")
    print("tempo pairs (lv2 beatsPerMinute, vst tempo): "
          + ", ".join(f"{pair} x{n}" for pair, n in sorted(tempos.items(), key=lambda item: str(item[0]))))

    # Where each format first hears the tempo change: the first position
    # while rolling with a tempo other than the one the export started with.
    playing = [b for b in vst if b["flags"] & 2]
    first_lv2 = next(((k["frame"], k.get("beatsPerMinute")) for k in rolling
                      if k.get("beatsPerMinute") != rolling[0].get("beatsPerMinute")), None) if rolling else None
    first_vst = next(((b["samplePos"], b["tempo"]) for b in playing
                      if b["tempo"] != playing[0]["tempo"]), None) if playing else None
    print(f"tempo change at frame {args.change} (offset {args.change % 256} in its 256-frame block): "
          f"lv2 first hears it at (frame, beatsPerMinute) {first_lv2}, vst at (samplePos, tempo) {first_vst}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
