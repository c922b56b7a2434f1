#!/usr/bin/env python3
"""Synthesises the completion chime: three soft bell strikes rising through a
major chord, each a fundamental with two quieter inharmonic partials and an
exponential decay. Writes an uncompressed PCM WAVE file, one channel, 8 bits
per sample (unsigned), 22050 samples per second, with exactly 66389 bytes of
sound data.

Usage: make_chime.py OUTPUT.wav
"""

import math
import struct
import sys

SAMPLE_RATE = 22050
DATA_BYTES = 66389  # about three seconds
PEAK = 0.8  # headroom below full scale

# (start in seconds, frequency in Hz, loudness)
STRIKES = [
    (0.00, 659.25, 1.0),  # E5
    (0.28, 830.61, 0.9),  # G#5
    (0.56, 987.77, 0.85),  # B5
    (0.84, 1318.51, 0.7),  # E6
]
# (frequency ratio, relative loudness, decay rate per second)
PARTIALS = [(1.0, 1.0, 2.2), (2.76, 0.35, 4.5), (5.40, 0.12, 8.0)]
ATTACK_SECONDS = 0.006


def sample(t):
    value = 0.0
    for start, freq, loudness in STRIKES:
        age = t - start
        if age < 0:
            continue
        attack = min(1.0, age / ATTACK_SECONDS)
        for ratio, level, decay in PARTIALS:
            value += (loudness * level * attack * math.exp(-decay * age)
                      * math.sin(2 * math.pi * freq * ratio * age))
    return value


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    raw = [sample(i / SAMPLE_RATE) for i in range(DATA_BYTES)]
    # Fade the last 50 ms to silence so the sound ends without a click.
    fade = int(0.05 * SAMPLE_RATE)
    for i in range(fade):
        raw[DATA_BYTES - 1 - i] *= i / fade
    scale = PEAK / max(abs(v) for v in raw)
    data = bytes(max(0, min(255, round(128 + 127 * v * scale))) for v in raw)

    fmt = struct.pack("<HHIIHH", 1, 1, SAMPLE_RATE, SAMPLE_RATE, 1, 8)
    pad = b"\0" if DATA_BYTES % 2 else b""  # RIFF chunks are word aligned
    body = (b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
            + b"data" + struct.pack("<I", DATA_BYTES) + data + pad)
    with open(sys.argv[1], "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", len(body)) + body)


if __name__ == "__main__":
    main()
