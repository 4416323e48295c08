// SPDX-License-Identifier: GPL-3.0-or-later
#include "mosaic/bayer_pattern.h"

#include <cctype>

namespace qirm {

namespace {
constexpr BayerPattern kAll[4] = {BayerPattern::kRGGB, BayerPattern::kBGGR, BayerPattern::kGRBG,
                                  BayerPattern::kGBRG};
}  // namespace

const char* BayerPatternName(BayerPattern pattern) {
  switch (pattern) {
    case BayerPattern::kRGGB:
      return "RGGB";
    case BayerPattern::kBGGR:
      return "BGGR";
    case BayerPattern::kGRBG:
      return "GRBG";
    case BayerPattern::kGBRG:
      return "GBRG";
  }
  return "RGGB";
}

bool ParseBayerPattern(const std::string& text, BayerPattern& pattern) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  if (end - begin != 4) return false;
  std::string upper;
  for (std::size_t i = begin; i < end; ++i)
    upper += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
  for (BayerPattern p : kAll) {
    if (upper == BayerPatternName(p)) {
      pattern = p;
      return true;
    }
  }
  return false;
}

BayerPattern ShiftedBayerPattern(BayerPattern pattern, int dx, int dy) {
  for (BayerPattern p : kAll) {
    bool same = true;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) same = same && BayerColour(p, x, y) == BayerColour(pattern, x + dx, y + dy);
    if (same) return p;
  }
  return pattern;
}

}  // namespace qirm
