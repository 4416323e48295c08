// SPDX-License-Identifier: GPL-3.0-or-later
// A picture with 16 bits per channel, for writers that keep more than the
// 8-bit picture holds: rows from the top, samples red, green, blue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qirm {

struct Rgb16Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint16_t> samples;  // width * height * 3

  Rgb16Picture() = default;
  Rgb16Picture(int w, int h) : width(w), height(h), samples(static_cast<std::size_t>(w) * h * 3, 0) {}
  bool empty() const { return width <= 0 || height <= 0; }
  std::uint16_t* Row(int y) { return samples.data() + static_cast<std::size_t>(y) * width * 3; }
  const std::uint16_t* Row(int y) const { return samples.data() + static_cast<std::size_t>(y) * width * 3; }
  bool operator==(const Rgb16Picture& other) const = default;
};

}  // namespace qirm
