// SPDX-License-Identifier: GPL-3.0-or-later
// Values of a float window: 32-bit floats, rows from the top, row after row;
// NaN where a pixel is undefined (BLANK, missing from a file cut short).
#pragma once

#include <cstddef>
#include <vector>

#include "core/unfilled_allocator.h"

namespace qirm {

struct FloatPlane {
  // New values are left as they come: a reader writes every one of them next.
  using Values = std::vector<float, UnfilledAllocator<float>>;

  int width = 0;
  int height = 0;
  Values values;  // width * height, row after row

  FloatPlane() = default;
  FloatPlane(int w, int h) { ResizeUnfilled(w, h); }

  bool empty() const { return width <= 0 || height <= 0; }
  std::size_t pixels() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
  float* Row(int y) { return values.data() + static_cast<std::size_t>(y) * width; }
  const float* Row(int y) const { return values.data() + static_cast<std::size_t>(y) * width; }
  float At(int x, int y) const { return Row(y)[x]; }

  void ResizeUnfilled(int w, int h) {
    width = w > 0 ? w : 0;
    height = h > 0 ? h : 0;
    const std::size_t n = pixels();
    if (values.size() == n) return;
    Values fresh;
    fresh.resize(n);
    values.swap(fresh);
  }
};

}  // namespace qirm
