# SPDX-License-Identifier: GPL-3.0-or-later
"""The Python peer of `qirm-cli run FILE --state` for a 16-bit frame: astropy
reads the data (getdata, no memory map) and numpy finds their extremes.
Timed as a whole process beside qirm-cli (bench/open_compare.sh).

Usage: fits_open_astropy.py FILE   (exit status 3 when astropy is missing)
"""
import sys

try:
    from astropy.io import fits
except Exception:
    sys.exit(3)


def main():
    data = fits.getdata(sys.argv[1], memmap=False)
    print(data.shape[1], 'x', data.shape[0], 'min', data.min(), 'max', data.max())


if __name__ == '__main__':
    main()
