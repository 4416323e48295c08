#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The two registration stars of a set made by ../shared/bench/gen_data.py.

usage: compose_stars.py DATADIR   prints "S1X S1Y S2X S2Y" (whole pixels)

Star 1 is truth.json's reference star. truth.json names no second star, but
it holds the seed and size the whole star catalogue derives from, so the
catalogue is made again with the generator's own function and star 2 is
chosen from it: the brightest star that stays unsaturated in every channel
with room around it (no other notable star in its search box, wherever the
frame shifts put it), far from the saturated stars' streaks and the edges,
and at least a quarter of the frame away from star 1, so that the angle
between the two is well measured.
"""
import json
import os
import sys

import numpy as np

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "shared", "bench"))
import gen_data  # noqa: E402


def stars(data):
    with open(os.path.join(data, "truth.json")) as f:
        truth = json.load(f)
    n, seed = truth["size"], truth["seed"]
    cat_ss = np.random.SeedSequence([seed, n]).spawn(5)[0]
    x, y, flux, colour, ref, sats = gen_data.catalogue(np.random.default_rng(cat_ss), n)
    if np.hypot(ref[0] - truth["reference_star"][0], ref[1] - truth["reference_star"][1]) > 1e-6:
        sys.exit("compose_stars.py: the catalogue does not match %s/truth.json" % data)
    # The brightest peak over the channels, dark and bias included, flat response at most 1.
    peak = 0.0
    for ci, ch in enumerate(gen_data.CHANNELS):
        sigma = gen_data.PSF_SIGMA[ch] * 0.92
        f = flux * gen_data.THROUGHPUT[ch] * np.exp((1 - ci) * colour)
        peak = np.maximum(peak, f / (2 * np.pi * sigma * sigma) + gen_data.SKY[ch] * 1.1)
    peak = peak + gen_data.BIAS + gen_data.DARK_CURRENT
    margin = 100 + gen_data.MAX_SHIFT
    ok = (peak < 45000) & (peak > 5000)
    ok &= (x > margin) & (x < n - margin) & (y > margin) & (y < n - margin)
    ok &= np.hypot(x - ref[0], y - ref[1]) > n / 4
    for sx, sy in sats:
        ok &= np.hypot(x - sx, y - sy) > 250
    best = None
    for i in np.argsort(-flux):
        if not ok[i]:
            continue
        d = np.maximum(np.abs(x - x[i]), np.abs(y - y[i]))
        near = (d < 20 + 2 * gen_data.MAX_SHIFT + 8) & (flux > 0.02 * flux[i])
        if near.sum() == 1:
            best = i
            break
    if best is None:
        sys.exit("compose_stars.py: no second star fits in %s" % data)
    return int(ref[0]), int(ref[1]), int(x[best]), int(y[best])


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: compose_stars.py DATADIR")
    print("%d %d %d %d" % stars(sys.argv[1]))
