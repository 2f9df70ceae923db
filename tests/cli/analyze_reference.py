#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Works out the lines Commands_test expects from `kalindor-cli analyze`, independently of the
program: a direct DFT in double precision instead of its FFT, then the point scaling, hold,
gain, AGC, noise filter, threshold and half-to-even bar rounding with every stored value
rounded to a 32-bit float. Also checks that no line changes when each transform output is
moved by up to 0.05, so that no expected value hinges on float rounding inside the transform.
Keep ROWS and CASES equal to the test's.
"""
import math
import random
import struct

SINE = math.pi / 2
ROWS = [[(8, 100, 0), (12, 40, SINE), (128, 20, 0)], [], [(2, 3, 0), (128, 127, 0)],
        [(18, 1, 0), (24, 60, SINE), (32, 9, 0)], [(8, 6, 0), (4, 50, SINE), (127, 30, SINE)],
        [], [(8, 127, 0), (32, 120, 0)], [(128, 2, 0), (12, 5, SINE)]]
DEFAULTS = [50, 5, 0] + [v for ch in range(8) for v in (5, 31, (ch + 1) ** 2)] + \
    [100, 1, 1, 1, 5000, 888]
CASES = [  # preset lines, tick in ms
    (DEFAULTS, 50),
    ([30, 10, 0, 3, 21, 16, 5, 36, 16, 10, 40, 4, 1, 1, 9, 5, 26, 36, 7, 35, 1, 4, 30, 49,
      2, 11, 255, 50, 0, 1, 0, 5000, 888], 30),
    ([40, 3, 1, 5, 36, 1, 4, 31, 4, 8, 36, 9, 5, 31, 16, 6, 25, 25, 5, 31, 16, 9, 38, 49,
      3, 31, 64, 80, 1, 1, 1, 400, 888], 30),
]


def f32(x):
    return struct.unpack('f', struct.pack('f', x))[0]


def snapshot(tones):
    out = []
    for j in range(256):
        x = 128.0
        for (b, a, phase) in tones:
            x += a * math.cos(2.0 * math.pi * b * j / 256.0 - phase)
        out.append(max(0, min(255, math.floor(x + 0.5))))
    return out


def transform(x):
    """Point 1 = sum x_j (-1)^j; points 2k, 2k+1 = real, imaginary part of sum x_j e^(+2 pi i jk/256)."""
    raw = [0.0] * 256
    raw[1] = float(sum(v if j % 2 == 0 else -v for j, v in enumerate(x)))
    for k in range(1, 128):
        raw[2 * k] = sum(v * math.cos(2.0 * math.pi * j * k / 256.0) for j, v in enumerate(x))
        raw[2 * k + 1] = sum(v * math.sin(2.0 * math.pi * j * k / 256.0) for j, v in enumerate(x))
    return raw


def bar(value):
    if value <= 0:
        return 0
    if value >= 255:
        return 255
    whole = math.floor(value)
    frac = value - whole
    return whole + (1 if frac > 0.5 or (frac == 0.5 and whole % 2 == 1) else 0)


def analyze(lines, tick, transforms):
    decay, agc = float(lines[1]), lines[2] == 1
    threshold = [f32(f32((105 - 10 * lines[3 + 3 * ch]) / 100.0) * 255.0) for ch in range(8)]
    gain = [f32((410 - 10 * lines[4 + 3 * ch]) / 100.0) for ch in range(8)]
    freq = [lines[5 + 3 * ch] for ch in range(8)]
    noise = f32((100 - lines[27]) * 2.55)
    polygon, ylog, agc_speed = lines[28] == 1, lines[30] != 0, lines[31]
    held = [0.0] * 256
    shown = [0] * 8
    peak = agc_gain = 0.0
    counter = 0
    out = []
    for k, raw in enumerate(transforms):
        pattern = 0
        for p in range(1, 256):
            v = abs(raw[p]) if raw[p] != 0 else 1.0
            v = min(f32(math.log(v) * 25.0) if ylog else f32(v / 70.0), 255.0)
            h = held[p]
            falls_below = f32(h - decay) < 0 if polygon else f32(f32(255.0 - v) - decay) < 0
            h = v if v >= h or falls_below else f32(h - decay)
            level = held[p] = max(h, 0.0)
            for ch in (ch for ch in range(8) if freq[ch] == p):
                if agc:
                    peak = max(peak, level)
                level = min(f32(gain[ch] * level), 255.0)
                if agc and level < noise:
                    level = 0.0
                e = f32(agc_gain * level) if agc else level
                if e != shown[ch]:
                    shown[ch] = bar(e)
                if e >= threshold[ch]:
                    pattern |= 1 << ch
            if agc:
                counter += 1
                if counter >= agc_speed:
                    agc_gain = f32(255.0 / (peak if peak != 0 else 1.0) * 0.7)
                    counter, peak = 0, 0.0
        out.append(' '.join(str(v) for v in [k * tick, pattern] + shown))
    return out


def main():
    transforms = [transform(snapshot(tones)) for tones in ROWS]
    rng = random.Random(1)
    for lines, tick in CASES:
        expected = analyze(lines, tick, transforms)
        for _ in range(20):
            moved = [[v + rng.uniform(-0.05, 0.05) for v in raw] for raw in transforms]
            assert analyze(lines, tick, moved) == expected, 'hinges on transform rounding'
        print('\n'.join(expected) + '\n')


if __name__ == '__main__':
    main()
