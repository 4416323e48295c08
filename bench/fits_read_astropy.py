# SPDX-License-Identifier: GPL-3.0-or-later
"""Times astropy reading a FITS frame into memory, for fits_read_bench.

Usage: fits_read_astropy.py FILE REPEATS
Prints "mean_seconds min_seconds pixels" for fits.getdata(FILE, memmap=False)
(the data read into a NumPy array, big-endian as stored). Exit status 3
when astropy is not available.
"""
import sys
import time

try:
    from astropy.io import fits
except Exception:
    sys.exit(3)


def main():
    path = sys.argv[1]
    repeats = int(sys.argv[2])
    fits.getdata(path, memmap=False)  # warm the page cache and the imports
    times = []
    pixels = 0
    for _ in range(repeats):
        start = time.perf_counter()
        data = fits.getdata(path, memmap=False)
        times.append(time.perf_counter() - start)
        pixels = data.size
        del data
    print(sum(times) / len(times), min(times), pixels)


if __name__ == '__main__':
    main()
