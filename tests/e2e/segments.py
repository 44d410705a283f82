#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints the stretches of sound in a raw recording (s16le, mono) as 'start_ms length_ms'.

Quiet gaps shorter than --bridge ms (stops inside a word, the joins between pieces) are
bridged, so a run of gapless pieces is one stretch and each pause starts a new one."""
import argparse
import array
import math
import sys

p = argparse.ArgumentParser()
p.add_argument("raw")
p.add_argument("--rate", type=int, default=16000)
p.add_argument("--window-ms", type=int, default=10)
p.add_argument("--threshold-db", type=float, default=-45.0)
p.add_argument("--bridge", type=int, default=150)
a = p.parse_args()

samples = array.array("h")
with open(a.raw, "rb") as f:
    data = f.read()
samples.frombytes(data[: len(data) // 2 * 2])
if sys.byteorder != "little":
    samples.byteswap()

n = a.rate * a.window_ms // 1000
limit = 32768 * 10 ** (a.threshold_db / 20)
loud = []
for i in range(0, len(samples) - n + 1, n):
    w = samples[i : i + n]
    rms = math.sqrt(sum(s * s for s in w) / n)
    loud.append(rms > limit)

stretches = []
start = None
quiet = 0
for k, l in enumerate(loud):
    if l:
        if start is None:
            start = k
        quiet = 0
    elif start is not None:
        quiet += 1
        if quiet * a.window_ms >= a.bridge:
            stretches.append((start, k - quiet + 1))
            start, quiet = None, 0
if start is not None:
    stretches.append((start, len(loud) - quiet))
for s, e in stretches:
    print(s * a.window_ms, (e - s) * a.window_ms)
