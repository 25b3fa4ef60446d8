#!/usr/bin/env bash
# Debian's LV2 tools against the built bundle: lv2_validate finds no error,
# lv2ls and lv2info list it with its ports, lv2apply (no features, one frame
# a run) and lv2file (blocks, urid:map) render a float WAV file through it
# with finite output that the panner changed.
#   lv2_tools_test.sh <bundle folder> <work folder>
set -euo pipefail
bundle="$(realpath "$1")"
work="$2"
uri="urn:kq-lum-vee:drifton"
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
export LV2_PATH
LV2_PATH="$(dirname "$bundle")"

lv2_validate "$bundle/manifest.ttl" "$bundle/kq-drifton.ttl" >"$work/validate.log" 2>&1 ||
    { cat "$work/validate.log" >&2; fail "lv2_validate"; }
grep -q "Found 0 errors" "$work/validate.log" || fail "lv2_validate did not report 0 errors"

lv2ls | grep -qx "$uri" || fail "lv2ls does not list $uri"
lv2info "$uri" >"$work/info.txt" 2>/dev/null || fail "lv2info $uri"
for symbol in in_left in_right out_left out_right period type width phase time; do
    grep -q "Symbol: *$symbol\$" "$work/info.txt" || fail "lv2info shows no port '$symbol'"
done
grep -q '3 = "1/4"' "$work/info.txt" || fail "lv2info shows no scale point 1/4"

# Two seconds of a stereo tone, 32-bit float.
python3 - "$work/in.wav" <<'PY'
import math, struct, sys, wave
frames, rate = 88200, 44100
data = b"".join(struct.pack("<ff", 0.5 * math.sin(i * 0.03), 0.5 * math.sin(i * 0.031))
                for i in range(frames))
with open(sys.argv[1], "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE")
    f.write(b"fmt " + struct.pack("<IHHIIHH", 16, 3, 2, rate, rate * 8, 8, 32))
    f.write(b"data" + struct.pack("<I", len(data)) + data)
PY

lv2apply -i "$work/in.wav" -o "$work/apply.wav" -c period 11 -c width 100 -c phase -90 "$uri" \
    >"$work/apply.log" 2>&1 || { cat "$work/apply.log" >&2; fail "lv2apply"; }
lv2file -i "$work/in.wav" -o "$work/file.wav" -b 512 -p period:11 -p width:100 "$uri" \
    >"$work/file.log" 2>&1 || { cat "$work/file.log" >&2; fail "lv2file"; }

# Every output sample finite, as many frames as went in, and not the input.
python3 - "$work/in.wav" "$work/apply.wav" "$work/file.wav" <<'PY'
import math, struct, sys

def samples(path):
    data = open(path, "rb").read()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE", path + ": not a WAV file"
    at, fmt, body = 12, None, None
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if chunk == b"fmt ":
            fmt = struct.unpack("<HHIIHH", data[at + 8:at + 24])
        elif chunk == b"data":
            body = data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    tag, channels, bits = fmt[0], fmt[1], fmt[5]
    if tag in (3, 0xFFFE) and bits == 32:
        return list(struct.unpack("<%df" % (len(body) // 4), body))
    if tag in (1, 0xFFFE) and bits == 16:
        return [v / 32768 for v in struct.unpack("<%dh" % (len(body) // 2), body)]
    raise SystemExit("%s: unexpected format %r" % (path, fmt))

source = samples(sys.argv[1])
for path in sys.argv[2:]:
    out = samples(path)
    if len(out) < len(source):
        raise SystemExit("%s: %d samples, the input has %d" % (path, len(out), len(source)))
    bad = [i for i, v in enumerate(out) if not math.isfinite(v)]
    if bad:
        raise SystemExit("%s: %d samples not finite, the first at %d" % (path, len(bad), bad[0]))
    if max(abs(a - b) for a, b in zip(out, source)) < 0.05:
        raise SystemExit("%s: the output is the input: nothing was panned" % path)
    print("%s: %d finite samples" % (path, len(out)))
PY
echo "lv2 tools: validate, ls, info, apply and file passed"
