#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks a composition's registration against a generated set's truth.

usage: compose_bench --offsets | compose_check.py DATADIR [LIMIT_PX]

Reads the "FRAME name ox oy scale theta" lines of build/bench/compose_bench
--offsets and, from DATADIR/truth.json, the shift (dx, dy) every frame was
made with (the frames differ only by those shifts). Output pixel x of a
channel takes frame pixel x + o after the frame was scaled by k and turned
by theta about the centre c, so it shows the sky at
    c + R(-theta) (x + o - c) / k - d;
the error is that minus x, at the four corners and the centre. Prints the
worst error of each channel (mean over its frames) and of any single frame;
exit status 1 when a channel is off by more than LIMIT_PX (default 1).
"""
import json
import math
import os
import sys


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    data = sys.argv[1]
    limit = float(sys.argv[2]) if len(sys.argv) == 3 else 1.0
    with open(os.path.join(data, "truth.json")) as f:
        truth = json.load(f)
    n = truth["size"]
    c = n * 0.5
    points = [(0, 0), (n - 1, 0), (0, n - 1), (n - 1, n - 1), (n // 2, n // 2)]
    channels = {}
    worst_frame = (0.0, "")
    frames = 0
    for line in sys.stdin:
        parts = line.split()
        if len(parts) != 6 or parts[0] != "FRAME":
            continue
        name, ox, oy, k, theta = parts[1], int(parts[2]), int(parts[3]), float(parts[4]), float(parts[5])
        t = truth["frames"].get(name)
        if t is None:
            sys.exit("compose_check.py: %s is not in %s/truth.json" % (name, data))
        frames += 1
        cs, sn = math.cos(theta), math.sin(theta)
        errs = []
        for (x, y) in points:
            u, v = x + ox - c, y + oy - c
            # the inverse of x' = c dx + s dy, y' = -s dx + c dy
            px = c + (cs * u - sn * v) / k - t["dx"]
            py = c + (sn * u + cs * v) / k - t["dy"]
            errs.append((px - x, py - y))
        channels.setdefault(name.split("_")[0], []).append(errs)
        e = max(math.hypot(*p) for p in errs)
        if e > worst_frame[0]:
            worst_frame = (e, name)
    if frames == 0:
        sys.exit("compose_check.py: no FRAME lines on standard input")
    bad = False
    for ch, rows in channels.items():
        worst = 0.0
        for i in range(len(points)):
            mx = sum(r[i][0] for r in rows) / len(rows)
            my = sum(r[i][1] for r in rows) / len(rows)
            worst = max(worst, math.hypot(mx, my))
        print("alignment %-5s worst %.2f px (mean of %d frames, corners and centre)" % (ch, worst, len(rows)))
        bad |= worst > limit
    print("alignment worst single frame %.2f px (%s)" % worst_frame)
    if bad:
        print("alignment: a channel is off by more than %g px" % limit)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
