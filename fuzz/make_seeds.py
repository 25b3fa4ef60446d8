#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a short, host-like scenario spelt in the byte layout the target
reads (see the target's source), so the fuzzer starts from calls a real host
makes and mutates them from there. Run it again after changing a layout.
"""
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent

# Selector bytes of the shared readers (fuzz/harness/fuzz_bytes.cpp).
RAW = 255  # raw bits follow


def f32(value):
    return bytes([RAW]) + struct.pack("<f", value)


def f64(value):
    return bytes([RAW]) + struct.pack("<d", value)


def unit(fraction):
    """A 0..1 value in steps of 1/255."""
    return bytes([100, round(fraction * 255)])


def index(i):
    return bytes([i])  # 0..5 pick an index directly


# --- dispatcher: opcode, index, value, opt, pointer bits, content ---------
def call(opcode, idx=0, value=0, opt=bytes([0]), buffer=False, process=False, content=b""):
    pointers = (1 if buffer else 0) | (4 if process else 0)
    value_bytes = bytes([1 | (value << 2)]) if 0 <= value < 64 else bytes([3]) + struct.pack("<q", value)
    return bytes([opcode + 1, idx]) + value_bytes + opt + bytes([pointers, len(content)]) + content


def dispatcher_seeds():
    startup = b"".join([
        call(0),                                  # effOpen
        call(10, opt=f32(48000.0)),               # effSetSampleRate
        call(11, value=512),                      # effSetBlockSize
        call(45, buffer=True),                    # names a host shows
        call(47, buffer=True),
        call(48, buffer=True),
        *[call(op, idx=i, buffer=True) for i in range(4) for op in (8, 6, 7)],
        call(51, buffer=True, content=b"receiveVstTimeInfo"),
        call(58),                                 # effGetVstVersion
        call(12, value=1, process=True),          # resume, then a block
        call(12, value=0),
        call(1),                                  # effClose
    ])
    odd = b"".join([
        call(10, opt=f32(float("nan")), process=True),
        call(69, buffer=True),                    # speaker arrangement slots
        call(23, buffer=True),                    # chunk pointer
        call(24, value=8, buffer=True, content=b"\x00" * 8),
        call(4, buffer=True, content=b"a program name longer than any limit"),
        call(27, idx=2, buffer=True, content=b"50"),
        call(90, idx=5, value=63, opt=f32(float("inf")), buffer=True, process=True),
    ])
    return {"host-startup": startup, "odd-calls": odd}


# --- parameters: action, index, then the action's values -----------------
def set_param(i, value_bytes):
    return bytes([0]) + index(i) + value_bytes


def read_text(opcode_choice, i):
    return bytes([3 + 6 * opcode_choice]) + index(i)


def parameters_seeds():
    edges = b"".join(set_param(i, v) for i in range(4)
                     for v in (bytes([0]), bytes([2]), unit(1 / 11), f32(1.0000001),
                               f32(float("nan")), f32(-float("inf")), f32(1e-45)))
    texts = b"".join(set_param(i, unit(x)) + read_text(k, i)
                     for i in range(4) for x in (0.0, 0.5, 1.0) for k in range(3))
    strings = b"".join(bytes([4]) + index(i) + bytes([3]) + b"1/8" for i in range(5))
    return {"edge-values": edges, "texts": texts, "string-to-value": strings}


# --- processing: rate, block size, resume, parameters, time, then steps -----
def processing_header(rate, resume, params, time, rolling):
    return (rate + struct.pack("<i", 512) + bytes([1 if resume else 0]) +
            b"".join(params) + time + bytes([1 if rolling else 0]))


def time_info(flags_choice, position, tempo_selector):
    """Time information available; flags choice 0 marks position and tempo valid."""
    return bytes([4 + flags_choice]) + position + bytes([tempo_selector])


def block(frame_selector, layout, seed=1, amplitude=0):
    return bytes([0, frame_selector, layout]) + struct.pack("<I", seed) + bytes([amplitude])


def processing_seeds():
    defaults = [unit(3 / 11), unit(0.5), unit(0.75), unit(0.5)]
    at_44100 = bytes([3])
    rolling = processing_header(at_44100, True, defaults,
                                time_info(0, bytes([0]) + struct.pack("<h", 0), 0), True)
    rolling += b"".join(block(6, layout) for layout in (0, 1, 0, 1))  # 512-frame blocks
    # NaN rate and parameters; every time flag set, NaN position, infinite tempo.
    odd = processing_header(bytes([RAW]) + f32(float("nan")), False, [f32(float("nan"))] * 4,
                            bytes([RAW]) + struct.pack("<i", -1) + bytes([RAW]) + f64(float("nan")) +
                            bytes([RAW]) + f64(float("inf")),
                            False)
    odd += block(9, 0) + block(10, 0) + block(1, 4) + bytes([5, 10]) + block(4, 1)
    count_in = processing_header(bytes([8]), True, defaults,
                                 time_info(0, bytes([0]) + struct.pack("<h", -64), 10), True)
    count_in += b"".join(block(2, 1, seed, 7) for seed in range(6))
    return {"rolling-512": rolling, "invalid-host-values": odd, "count-in": count_in}


# --- lv2: setup, controls, then blocks with their atom sequences ----------
def lv2_property(key, kind, value):
    """A time:Position key (index into the target's key table) and a value of
    `kind`: 0 Float, 1 Double, 2 Int, 3 Long."""
    packed = {0: lambda v: f32(v), 1: lambda v: f64(v),
              2: lambda v: struct.pack("<i", int(v)), 3: lambda v: struct.pack("<q", int(v))}[kind]
    return bytes([key, kind]) + packed(value)


BAR, BAR_BEAT, BEAT, BEAT_UNIT, BEATS_PER_BAR, BPM, SPEED, FRAME = range(8)


def lv2_position(frame_selector, properties, frame_bytes=b""):
    return (bytes([frame_selector]) + frame_bytes + bytes([1, len(properties)]) +
            b"".join(properties))


def lv2_block(frames, events, in_place=False, seed=1):
    action = 0x08 if in_place else 0
    return (bytes([action]) + struct.pack("<H", frames) + struct.pack("<I", seed) + bytes([0]) +
            bytes([0, len(events)]) + b"".join(events))


def lv2_seeds():
    controls = f32(10.0) + f32(2.0) + f32(100.0) + f32(45.0)
    ardour = bytes([0]) + controls
    for n in range(6):
        bar, beat = divmod(n * 1.5, 3.0)
        ardour += lv2_block(512, [lv2_position(0, [
            lv2_property(BAR, 3, bar), lv2_property(BAR_BEAT, 0, beat),
            lv2_property(BEATS_PER_BAR, 0, 6.0), lv2_property(BEAT_UNIT, 2, 8),
            lv2_property(BPM, 0, 96.0), lv2_property(SPEED, 0, 1.0),
            lv2_property(FRAME, 3, n * 512)])], in_place=True, seed=n)
    # Positions only on changes, one inside a block, one past its end; NaN values.
    changes = bytes([1]) + controls
    changes += lv2_block(1024, [lv2_position(0, [lv2_property(SPEED, 0, 0.0),
                                                 lv2_property(FRAME, 3, 0)])])
    changes += lv2_block(1024, [lv2_position(1, [lv2_property(BEAT, 1, 33.5),
                                                 lv2_property(SPEED, 0, 1.0),
                                                 lv2_property(BPM, 0, 140.0)],
                                             struct.pack("<H", 300))])
    changes += lv2_block(700, [lv2_position(2, [lv2_property(BAR, 3, 8000),
                                                lv2_property(BAR_BEAT, 0, float("nan"))],
                                            bytes([9]))])
    changes += lv2_block(64, [])
    # lv2apply: no features, no atom input, one frame a run.
    single = bytes([0x18]) + controls + b"".join(
        bytes([0x04, 1]) + struct.pack("<I", n) + bytes([0, 0, 0]) for n in range(32))
    return {"ardour-6-8": ardour, "changes-only": changes, "no-features-one-frame": single}


def main():
    for target, seeds in (("dispatcher", dispatcher_seeds()), ("parameters", parameters_seeds()),
                          ("processing", processing_seeds()), ("lv2", lv2_seeds())):
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
