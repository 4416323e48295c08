// SPDX-License-Identifier: GPL-3.0-or-later
// Small pictures for engine tests.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/picture.h"

namespace qirm::test {

// Every byte of a w x h picture set to value.
inline Picture Flat(int w, int h, int value) {
  Picture p(w, h);
  for (int y = 0; y < h; ++y) std::fill(p.Row(y), p.Row(y) + p.stride(), static_cast<std::uint8_t>(value));
  return p;
}

// Sets all three channels of one pixel.
inline void Grey(Picture& p, int x, int y, int value) {
  for (int c = 0; c < 3; ++c) p.Row(y)[3 * x + c] = static_cast<std::uint8_t>(value);
}

// One channel of one pixel (0 blue, 1 green, 2 red).
inline int At(const Picture& p, int x, int y, int channel = 0) { return p.Row(y)[3 * x + channel]; }

}  // namespace qirm::test
