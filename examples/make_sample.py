#!/usr/bin/env python3
"""Writes examples/tone.pcm: half a second of a 440 Hz tone, 8000 Hz, 16-bit mono, as a PCM
data file (bytes 4-7: the WAV file's length; bytes 12-27: the fmt chunk body; then samples)."""

import math
import os
import struct

RATE, CHANNELS, BITS = 8000, 1, 16
samples = b"".join(struct.pack("<h", int(12000 * math.sin(2 * math.pi * 440 * i / RATE)))
                   for i in range(RATE // 2))
block = CHANNELS * BITS // 8
fmt = struct.pack("<HHIIHH", 1, CHANNELS, RATE, RATE * block, block, BITS)
n = 28 + len(samples)
pcm = b"PCM " + struct.pack("<I", n + 16) + b"\x00" * 4 + fmt + samples
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "tone.pcm"), "wb") as f:
    f.write(pcm)
