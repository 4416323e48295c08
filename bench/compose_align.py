#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures a composition's alignment with a generated set's truth on the output itself.

usage: compose_align.py DATADIR LINEAR.fits [LIMIT_PX]

LINEAR.fits is the cube `qirm-cli compose SET.mrv -o OUT --linear LINEAR.fits`
writes (R, G, B as they enter the tone curve). Near each corner and the
centre, the isolated unsaturated stars of the set's catalogue (made again
from truth.json's seed and size, as compose_stars.py does) are measured by
their centroid above the local sky in each channel and compared with where
the catalogue puts them (a pixel's centre is at index + 0.5). Prints the mean
offset per channel and place; exit status 1 when any is farther than
LIMIT_PX (default 1) from the truth.
"""
import json
import math
import os
import sys

import numpy as np
from astropy.io import fits

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "shared", "bench"))
import gen_data  # noqa: E402


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    data, cube = sys.argv[1], sys.argv[2]
    limit = float(sys.argv[3]) if len(sys.argv) == 4 else 1.0
    with open(os.path.join(data, "truth.json")) as f:
        truth = json.load(f)
    n = truth["size"]
    cat_ss = np.random.SeedSequence([truth["seed"], n]).spawn(5)[0]
    x, y, flux, _, _, sats = gen_data.catalogue(np.random.default_rng(cat_ss), n)
    planes = fits.getdata(cube).astype(float)
    places = {"top-left": (0, 0), "top-right": (n, 0), "bottom-left": (0, n), "bottom-right": (n, n),
              "centre": (n / 2, n / 2)}
    worst = 0.0
    for name, (px, py) in places.items():
        near_place = (np.hypot(x - px, y - py) < 600 * n / 2048) & (flux > 5e3) & (flux < 3e5)
        inside = (x > 40) & (x < n - 40) & (y > 40) & (y < n - 40)
        offsets = [[] for _ in range(3)]
        for i in np.nonzero(near_place & inside)[0]:
            crowd = (np.abs(x - x[i]) < 12) & (np.abs(y - y[i]) < 12) & (flux > 0.01 * flux[i])
            if crowd.sum() > 1 or any(math.hypot(x[i] - sx, y[i] - sy) < 200 for sx, sy in sats):
                continue
            X, Y = int(x[i]), int(y[i])
            yy, xx = np.mgrid[Y - 5:Y + 6, X - 5:X + 6]
            for c in range(3):
                sky = np.median(planes[c, Y - 12:Y + 13, X - 12:X + 13])
                wgt = np.clip(planes[c, Y - 5:Y + 6, X - 5:X + 6] - sky, 0, None)
                if wgt.sum() > 0:
                    offsets[c].append(((xx * wgt).sum() / wgt.sum() + 0.5 - x[i],
                                       (yy * wgt).sum() / wgt.sum() + 0.5 - y[i]))
        texts = []
        for c in range(3):
            if not offsets[c]:
                texts.append("%s -" % "RGB"[c])
                continue
            mx, my = np.mean(offsets[c], axis=0)
            worst = max(worst, math.hypot(mx, my))
            texts.append("%s (%+.2f, %+.2f)" % ("RGB"[c], mx, my))
        print("%-12s %3d stars: %s" % (name, len(offsets[1]), "  ".join(texts)))
    print("alignment with the truth: worst %.2f px" % worst)
    return 1 if worst > limit else 0


if __name__ == "__main__":
    sys.exit(main())
