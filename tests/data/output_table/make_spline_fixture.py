#!/usr/bin/env python3
"""Writes the expected resampling of two stored output tables, computed with SciPy's
natural cubic spline, to standard output.

For each curve the file holds a line "curve NAME", a line "samples" with the 256 stored
samples, then 4096 lines "l position value entry": the evaluation position (already
clamped to the knots), the spline's value there on the 16-bit scale, and the 12-bit entry
made from it (truncated, clamped to 0..65535, shifted right by 4) before the samples are
put back at their own positions.
"""
import math

import numpy as np
from scipy.interpolate import CubicSpline

FULL = 65535


def curves():
    i = np.arange(256)
    # A smooth, rising curve like the ones the printers carry.
    yield "gamma", [int(round(4095 * (k / 255) ** (1 / 2.2))) for k in i]
    # Jumps that make the spline overshoot both ends of the scale.
    rng = np.random.default_rng(7302)
    yield "noisy", [int(v) for v in rng.integers(0, 4096, 256)]


def main():
    print("# made by make_spline_fixture.py with SciPy's CubicSpline(bc_type=\"natural\")")
    for name, samples in curves():
        x = np.array([k / 256 * FULL for k in range(256)], dtype=float)
        y = np.array([s / 4096 * FULL for s in samples], dtype=float)
        spline = CubicSpline(x, y, bc_type="natural")
        print("curve", name)
        print("samples", " ".join(str(s) for s in samples))
        for l in range(4096):
            position = min(max(float(l * FULL // 4095), x[0]), x[-1])
            value = float(spline(position))
            full = 0 if not value > 0 else FULL if value >= FULL else math.trunc(value)
            print(l, repr(position), repr(value), full >> 4)


if __name__ == "__main__":
    main()
