# SPDX-License-Identifier: GPL-3.0-or-later
"""Lanczos-3 resampling by 0.5 and by 2 of the same 4096 x 4096 pictures
beside its peers: ImageMagick's convert (-filter Lanczos -resize) and
Pillow's resize (LANCZOS), on a 16-bit grey frame and an 8-bit colour
picture of a sky with stars (made under /tmp/qirm-resample on first use).

convert is timed whole (reading and writing Netpbm included) and once more
with no resize, so its resize alone is the difference; Pillow and QIRM are
timed around the resize alone (QIRM's figures from build/bench/tools_bench).
Medians of RUNS runs (convert: one run). Usage: resample_compare.py [BUILD_DIR] [RUNS]
"""
import json
import os
import shutil
import subprocess
import sys
import time

import numpy as np
from PIL import Image

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 3
DIR = "/tmp/qirm-resample"
SIDE = 4096
CONVERT = "/usr/bin/convert"  # the real ImageMagick, not a wrapper on PATH


def pictures():
    os.makedirs(DIR, exist_ok=True)
    grey, colour = DIR + "/sky16.pgm", DIR + "/sky8.ppm"
    if not (os.path.exists(grey) and os.path.exists(colour)):
        rng = np.random.default_rng(4)
        y, x = np.mgrid[0:SIDE, 0:SIDE] / SIDE - 0.5
        sky = 1000 + 300 * x - 200 * y + rng.normal(0, 10, (SIDE, SIDE))
        for cx, cy in rng.integers(5, SIDE - 6, (3000, 2)):
            yy, xx = np.mgrid[cy - 3 : cy + 4, cx - 3 : cx + 4]
            sky[cy - 3 : cy + 4, cx - 3 : cx + 4] += 20000 * np.exp(-((xx - cx) ** 2 + (yy - cy) ** 2) / 2.0)
        raw = np.clip(np.round(sky), 0, 65535).astype(">u2")
        with open(grey, "wb") as f:
            f.write(b"P5\n%d %d\n65535\n" % (SIDE, SIDE) + raw.tobytes())
        v = np.minimum(255, raw.astype(np.int32) // 8)
        rgb = np.stack([v // 2, v * 3 // 4, v], axis=-1).astype(np.uint8)
        Image.fromarray(rgb, "RGB").save(colour)
    return grey, colour


def median_time(f, runs=None):
    times = []
    for _ in range(runs or RUNS):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return sorted(times)[len(times) // 2]


def convert_seconds(path, factor):
    out = DIR + "/out" + os.path.splitext(path)[1]
    # convert takes seconds where the others take a tenth: one run each.
    whole = median_time(lambda: subprocess.run([CONVERT, path, "-filter", "Lanczos", "-resize", "%d%%" % (factor * 100), out], check=True), 1)
    io = median_time(lambda: subprocess.run([CONVERT, path, out], check=True), 1)
    return whole, max(0.0, whole - io)


def pillow_seconds(path, factor):
    im = Image.open(path)
    if im.mode.startswith("I"):
        # Pillow resizes 16-bit grey in its 32-bit modes.
        im = im.convert("F")
    im.load()
    size = (int(SIDE * factor), int(SIDE * factor))
    return median_time(lambda: im.resize(size, Image.LANCZOS))


def qirm_seconds():
    out = subprocess.run([BUILD + "/bench/tools_bench", "--benchmark_filter=Lanczos3", "--benchmark_format=json",
                          "--benchmark_repetitions=%d" % RUNS, "--benchmark_report_aggregates_only=true"],
                         check=True, capture_output=True, text=True).stdout
    result = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            result[b["run_name"]] = b["real_time"] / 1000.0  # ms to s
    return result


def main():
    if not os.path.exists(CONVERT):
        sys.exit("no " + CONVERT + " (Debian package imagemagick)")
    grey, colour = pictures()
    ours = qirm_seconds()
    print("Lanczos-3 on %d x %d, median of %d runs, seconds (ns per source pixel)" % (SIDE, SIDE, RUNS))
    print("%-22s %18s %18s %18s %18s" % ("picture, factor", "QIRM", "Pillow", "convert resize", "convert whole"))
    for path, name, bench in ((grey, "16-bit grey", "BM_Lanczos3Raw16"), (colour, "8-bit colour", "BM_Lanczos3Colour")):
        for factor in (0.5, 2.0):
            q = ours.get("%s/%d/manual_time" % (bench, factor * 100), float("nan"))
            p = pillow_seconds(path, factor)
            whole, resize = convert_seconds(path, factor)
            ns = lambda s: "%.3f (%.1f)" % (s, s / SIDE / SIDE * 1e9)
            print("%-22s %18s %18s %18s %18s" % ("%s x%g" % (name, factor), ns(q), ns(p), ns(resize), ns(whole)))


if __name__ == "__main__":
    main()
