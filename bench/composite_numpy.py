# SPDX-License-Identifier: GPL-3.0-or-later
"""The numpy peer of `qirm-cli composite METHOD FILE... -o OUT.bmp` for
24-bit BMP pictures, written as a numpy user would: every picture read into
an array, the arrays stacked, the method taken along the stack, the result
written as a 24-bit BMP. Timed as a whole process beside qirm-cli (wall time
and peak memory, e.g. /usr/bin/time -v).

Usage: composite_numpy.py average|sum|maximum|minimum FILE... -o OUT.bmp
       composite_numpy.py --make DIR COUNT SIDE   (COUNT sky-like colour
       pictures DIR/NN.bmp of SIDE x SIDE, for both programs to read)
Exit status 3 when numpy is missing.
"""
import struct
import sys

try:
    import numpy as np
except Exception:
    sys.exit(3)


def read_bmp(path):
    with open(path, 'rb') as f:
        data = f.read()
    offset, = struct.unpack_from('<I', data, 10)
    width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
    if bits != 24:
        raise SystemExit(path + ': only 24-bit BMP files')
    stride = (width * 3 + 3) // 4 * 4
    rows = np.frombuffer(data, np.uint8, stride * abs(height), offset).reshape(abs(height), stride)
    picture = rows[:, :width * 3].reshape(abs(height), width, 3)
    return picture[::-1] if height > 0 else picture  # rows from the top


def write_bmp(path, picture):
    height, width, _ = picture.shape
    stride = (width * 3 + 3) // 4 * 4
    rows = np.zeros((height, stride), np.uint8)
    rows[:, :width * 3] = picture[::-1].reshape(height, width * 3)
    header = struct.pack('<2sIHHIIiiHHIIiiII', b'BM', 54 + rows.size, 0, 0, 54, 40, width, height, 1, 24, 0,
                         rows.size, 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header)
        f.write(rows.tobytes())


def make(folder, count, side):
    rng = np.random.default_rng(16)
    y, x = np.mgrid[0:side, 0:side]
    sky = 30 + 20 * x / side + 10 * y / side
    stars = rng.uniform(0, side, (400, 2))
    light = np.zeros((side, side))
    for sx, sy in stars:
        x0, x1 = int(max(sx - 6, 0)), int(min(sx + 7, side))
        y0, y1 = int(max(sy - 6, 0)), int(min(sy + 7, side))
        light[y0:y1, x0:x1] += 200 * np.exp(-((x[y0:y1, x0:x1] - sx) ** 2 + (y[y0:y1, x0:x1] - sy) ** 2) / 4.0)
    for i in range(count):
        channels = [sky * f + light + rng.normal(0, 6, (side, side)) for f in (0.8, 1.0, 1.2)]
        picture = np.clip(np.stack(channels, axis=2), 0, 255).astype(np.uint8)
        write_bmp('%s/%02d.bmp' % (folder, i + 1), picture)


def main():
    args = sys.argv[1:]
    if args and args[0] == '--make':
        make(args[1], int(args[2]), int(args[3]))
        return
    method = args[0]
    out = args[args.index('-o') + 1]
    files = [a for i, a in enumerate(args[1:], 1) if a != '-o' and args[i - 1] != '-o']
    stack = np.stack([read_bmp(f) for f in files])
    if method == 'average':
        result = stack.mean(axis=0)
    elif method == 'sum':
        result = np.minimum(stack.sum(axis=0, dtype=np.uint32), 255)
    elif method == 'maximum':
        result = stack.max(axis=0)
    elif method == 'minimum':
        result = stack.min(axis=0)
    else:
        raise SystemExit('unknown method ' + method)
    write_bmp(out, result.astype(np.uint8))


if __name__ == '__main__':
    main()
