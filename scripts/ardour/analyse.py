#!/usr/bin/env python3
"""Checks what the Ardour check's two sessions left in the work folder.

- Ardour lists the plug-in with its name, vendor and stereo pins, shows its
  name, vendor and the four parameters with their names and defaults.
- The values set in the first session read back as set, and come back the
  same after the session was saved and loaded again.
- The exported master (32-bit float WAV) carries the tone with its balance
  swinging between the two sides with the period that the tempo and the
  Period parameter imply, reaching both sides at full width.
Standard library only. Exit status 1 with one line per failed check.
"""
import argparse
import glob
import math
import os
import struct
import sys

NAME = "K'q Drifton"
VENDOR = "K'q Lum-vee"
PARAMETER_NAMES = ["Period", "Type", "Width", "PhaseShift"]
DEFAULTS = [3 / 11, 0.5, 0.75, 0.5]
# Note divisions of the Period parameter; value x selects entry int(x * 11).
DIVISIONS = [1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64]

PERIOD_TOLERANCE = 0.02  # relative
SIDE_REACHED = 0.95      # balance of a window, -1 (left only) .. 1 (right only)
WINDOW_SECONDS = 0.002   # two cycles of the 1 kHz tone


def read_back(index, value):
    """The value the plug-in reads back after being set to `value` in 0..1:
    Period and Type are steps (12 divisions, 3 shapes), Width and PhaseShift
    continuous."""
    if index == 0:
        return int(value * 11) / 11
    if index == 1:
        return int(value * 2) / 2
    return value


def read_results(path):
    results = {}
    with open(path, encoding="utf-8", errors="replace") as file:
        for line in file:
            key, _, value = line.rstrip("\n").partition("\t")
            results[key] = value
    return results


def read_float_wav(path):
    """Channels of a WAV file of 32-bit IEEE floats, as lists, and its rate."""
    with open(path, "rb") as file:
        data = file.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path}: not a RIFF WAVE file")
    offset, fmt, samples = 12, None, None
    while offset + 8 <= len(data):
        chunk, size = data[offset:offset + 4], struct.unpack_from("<I", data, offset + 4)[0]
        body = data[offset + 8:offset + 8 + size]
        if chunk == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body)
            if fmt[0] == 0xFFFE:  # extensible: the sub-format's first two bytes give the kind
                fmt = (struct.unpack_from("<H", body, 24)[0],) + fmt[1:]
        elif chunk == b"data":
            samples = body
        offset += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError(f"{path}: no fmt or data chunk")
    kind, channels, rate, _, _, bits = fmt
    if kind != 3 or bits != 32:
        raise ValueError(f"{path}: expected 32-bit float samples, found format {kind} with {bits} bits")
    values = struct.unpack(f"<{len(samples) // 4}f", samples[:len(samples) // 4 * 4])
    return [list(values[c::channels]) for c in range(channels)], rate


def balance_over_time(left, right, window):
    """Per window: (R - L) / (R + L) of the two RMS levels, or None in silence."""
    balance = []
    for start in range(0, len(left) - window + 1, window):
        l = math.sqrt(sum(x * x for x in left[start:start + window]) / window)
        r = math.sqrt(sum(x * x for x in right[start:start + window]) / window)
        balance.append((r - l) / (r + l) if r + l > 1e-4 else None)
    return balance


def swing_period(balance, window_seconds):
    """Seconds between upward crossings of the balance's mid level, averaged."""
    values = [b for b in balance if b is not None]
    middle = (max(values) + min(values)) / 2
    crossings = []
    for i in range(1, len(balance)):
        a, b = balance[i - 1], balance[i]
        if a is None or b is None:
            continue
        if a < middle <= b:
            crossings.append((i - 1 + (middle - a) / (b - a)) * window_seconds)
    if len(crossings) < 3:
        return None, len(crossings)
    return (crossings[-1] - crossings[0]) / (len(crossings) - 1), len(crossings)


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        print(("ok    " if condition else "FAIL  ") + message)
        if not condition:
            self.failures.append(message)

    def close_to(self, actual, expected, what, tolerance=1e-6):
        try:
            value = float(actual)
        except (TypeError, ValueError):
            value = math.nan
        self.expect(abs(value - expected) <= tolerance, f"{what}: {actual} (expected {expected:.6g})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", required=True, help="the check's work folder")
    parser.add_argument("--tempo", type=float, required=True, help="beats per minute")
    parser.add_argument("--seconds", type=float, required=True, help="seconds exported")
    parser.add_argument("--parameters", type=float, nargs=4, required=True,
                        metavar=("PERIOD", "TYPE", "WIDTH", "PHASESHIFT"))
    args = parser.parse_args()
    checks = Checks()

    try:
        render = read_results(os.path.join(args.work, "render.results"))
        reload = read_results(os.path.join(args.work, "reload.results"))
    except OSError as error:
        print(f"error: {error}", file=sys.stderr)
        return 1

    checks.expect(render.get("listed.name") == NAME, f"Ardour lists the plug-in as {render.get('listed.name')!r}")
    checks.expect(render.get("listed.vendor") == VENDOR, f"Ardour lists its vendor as {render.get('listed.vendor')!r}")
    checks.expect(render.get("listed.inputs") == "2" and render.get("listed.outputs") == "2",
                  f"Ardour lists {render.get('listed.inputs')} inputs and {render.get('listed.outputs')} outputs")
    checks.expect(render.get("shown.name") == NAME, f"the insert shows the name {render.get('shown.name')!r}")
    checks.expect(render.get("shown.vendor") == VENDOR, f"the insert shows the vendor {render.get('shown.vendor')!r}")
    checks.expect(render.get("default.count") == "4", f"Ardour shows {render.get('default.count')} parameters")
    for i, (name, default) in enumerate(zip(PARAMETER_NAMES, DEFAULTS)):
        shown = render.get(f"default.{i}.name")
        checks.expect(shown == name, f"parameter {i} is shown as {shown!r}")
        checks.close_to(render.get(f"default.{i}.value"), default, f"parameter {i} default")

    set_values = [render.get(f"set.{i}.value") for i in range(4)]
    for i, wanted in enumerate(args.parameters):
        checks.close_to(set_values[i], read_back(i, wanted), f"parameter {i} after setting {wanted:g}")
        checks.expect(reload.get(f"reloaded.{i}.value") == set_values[i],
                      f"parameter {i} after saving and loading: {reload.get(f'reloaded.{i}.value')} "
                      f"(saved {set_values[i]})")

    wavs = glob.glob(os.path.join(args.work, "export", "*.wav"))
    if len(wavs) != 1:
        checks.expect(False, f"one exported WAV file, found {len(wavs)}")
        return 1
    (left, right), rate = read_float_wav(wavs[0])
    checks.expect(abs(len(left) - args.seconds * rate) <= rate * 0.01,
                  f"exported {len(left) / rate:.3f} s at {rate} Hz")
    level = math.sqrt(sum(x * x for x in left + right) / max(1, len(left) + len(right)))
    checks.expect(level > 0.1, f"the export carries the tone (RMS {level:.3f})")

    window = int(rate * WINDOW_SECONDS)
    balance = balance_over_time(left, right, window)
    heard = [b for b in balance if b is not None]
    division = DIVISIONS[min(11, int(args.parameters[0] * 11))]
    expected = 2 * (4 / division) * 60 / args.tempo  # two half-cycles of 4/division beats
    period, crossings = swing_period(balance, WINDOW_SECONDS)
    if period is None:
        checks.expect(False, f"the balance swings (only {crossings} crossings)")
    else:
        checks.expect(abs(period - expected) <= PERIOD_TOLERANCE * expected,
                      f"the balance swings every {period:.4f} s over {crossings} crossings "
                      f"(1/{division} at {args.tempo:g} bpm: {expected:.4f} s)")
    if heard:
        checks.expect(min(heard) <= -SIDE_REACHED and max(heard) >= SIDE_REACHED,
                      f"the balance reaches both sides: {min(heard):.3f} .. {max(heard):.3f}")

    if checks.failures:
        print(f"{len(checks.failures)} check(s) failed", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
