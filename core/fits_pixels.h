// SPDX-License-Identifier: GPL-3.0-or-later
// The pixel data of a FITS image into an IntMatrix m[x][y] (row y = 0 of the
// file first). The caller has checked the size (1..16000 each way) and that
// m has it.
#pragma once

#include <cstdio>
#include <string>

#include "core/matrix.h"
#include "core/status.h"

namespace qirm {

struct FitsHeader;

namespace fits {

// w x h two-byte big-endian values from byte `offset` of `file`, row after
// row, each stored unsigned 0..65535; every byte past the end of the file
// counts as 255. The plain reference: byte by byte through the stream.
Status ReadBigEndian16Plain(std::FILE* file, const std::string& path, long long offset, int w, int h,
                            IntMatrix& m);
// The same result, fast: blocks of rows read with one call each, swapped and
// transposed into the columns 8 x 8 values at a time (value by value at
// CpuLevel::kScalar), the rows split between `threads` threads (0:
// PartCount of the frame's pixels).
// flip is XORed into every value as it is stored (0x8000: the sign shift by
// 32768 of values 0..65535, done on the way).
Status ReadBigEndian16(std::FILE* file, const std::string& path, long long offset, int w, int h, IntMatrix& m,
                       int threads = 0, std::uint16_t flip = 0);

// BITPIX 8, 32, 64, -32 or -64: the physical values mapped to raw 0..65535
// (see fits_reader.h) and stored as raw XOR 0x8000. Reads the data twice:
// once for the range, once to convert; nothing but a small buffer is held.
Status ReadScaledPixels(std::FILE* file, const std::string& path, const FitsHeader& header, IntMatrix& m);

// Any BITPIX: the physical values BZERO + BSCALE * stored as 32-bit floats,
// row after row into out (width * height values of plane `plane`, 0 the
// first); BLANK pixels and pixels missing from a file cut short are NaN.
// rounded: values of integer data that a float cannot hold exactly
// (integers beyond 2^24, finely scaled ones), stored as the nearest float.
Status ReadPhysicalPixels(std::FILE* file, const std::string& path, const FitsHeader& header, float* out,
                          long long& rounded, long long plane = 0);

// The raw value of a physical value p by the rule `mode` (see ReadScaledPixels);
// lo and hi are the range of the valid pixels. Exposed for tests.
enum class ScaleMode { kUnit, kKeep, kLinear };
ScaleMode ChooseScaleMode(bool any_valid, double lo, double hi);
int ScaleToRaw(double p, ScaleMode mode, double lo, double hi);

}  // namespace fits
}  // namespace qirm
