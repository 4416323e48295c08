// SPDX-License-Identifier: GPL-3.0-or-later
// The four Bayer colour-filter patterns: which filter lies over each pixel
// of a mosaic. A pattern is named by the filters of the first two pixels of
// the first row and then of the second row, the top row being the first one
// (FITS BAYERPAT with ROWORDER TOP-DOWN): RGGB is red at (0, 0), green at
// (1, 0) and (0, 1), blue at (1, 1).
#pragma once

#include <string>

namespace qirm {

enum class BayerPattern { kRGGB, kBGGR, kGRBG, kGBRG };

enum BayerColourIndex { kBayerRed = 0, kBayerGreen = 1, kBayerBlue = 2 };

// "RGGB", "BGGR", "GRBG", "GBRG".
const char* BayerPatternName(BayerPattern pattern);

// Reads one of the four names, any case, blanks around it allowed (as a
// BAYERPAT card's value comes). False for anything else.
bool ParseBayerPattern(const std::string& text, BayerPattern& pattern);

// The filter over pixel (x, y): kBayerRed, kBayerGreen or kBayerBlue. Any
// x, y (negative ones too): the pattern repeats every 2 pixels.
inline int BayerColour(BayerPattern pattern, int x, int y) {
  // Red's place in the 2 x 2 cell: bit 0 its column, bit 1 its row.
  static constexpr int kRedAt[4] = {0, 3, 1, 2};
  const int red = kRedAt[static_cast<int>(pattern)];
  const int cx = x & 1;
  const int cy = y & 1;
  if ((cx ^ cy) != ((red & 1) ^ (red >> 1))) return kBayerGreen;
  return (cx == (red & 1)) ? kBayerRed : kBayerBlue;
}

// The pattern of the mosaic that starts at pixel (dx, dy) of one with
// `pattern`: a crop from there, or a pattern given with the offsets
// XBAYROFF = dx and YBAYROFF = dy.
BayerPattern ShiftedBayerPattern(BayerPattern pattern, int dx, int dy);

}  // namespace qirm
