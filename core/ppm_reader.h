// SPDX-License-Identifier: GPL-3.0-or-later
// Binary Netpbm files: colour P6 (three bytes a pixel) and grey P5 (one byte
// a pixel, given as R = G = B). The image comes back as three channel
// matrices R, G, B of w columns and h rows, values 0..255; the maximum value
// in the header does not scale the bytes, and missing data bytes count as 0.
// Accepted header: tag, optionally one "# text" comment line right after the
// tag, width, height, maximum value, one white-space byte.
//
// Console traces go to standard output. Errors (a message naming the file;
// w = h = 0 and the matrices empty afterwards): a file that cannot be opened
// (after the console text "Couldn't find <path>"), other tags (ASCII
// variants, bitmaps), comments in any other form or place, a missing width,
// height or maximum value, sides outside 1..16000, maximum values outside
// 1..255 (16-bit samples), no memory for the data or the matrices. The
// process always goes on.
#pragma once

#include <string>

#include "core/matrix.h"
#include "core/status.h"

namespace qirm {

Status ReadPpmFile(const std::string& path, int& w, int& h, IntMatrix& r, IntMatrix& g, IntMatrix& b);

}  // namespace qirm
