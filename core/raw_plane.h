// SPDX-License-Identifier: GPL-3.0-or-later
// Raw 16-bit values of a FITS window (stored value + 32768, 0..65535), rows
// from the top, row after row: two bytes a pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "core/picture.h"

namespace qirm {

struct RawPlane {
  // Storage as pictures': new values are left as they come (a reader writes
  // every one of them next).
  using Values = std::vector<std::uint16_t, UnfilledAllocator<std::uint16_t>>;

  int width = 0;
  int height = 0;
  Values values;  // width * height, row after row

  RawPlane() = default;
  RawPlane(int w, int h) { ResizeUnfilled(w, h); }

  bool empty() const { return width <= 0 || height <= 0; }
  std::size_t pixels() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
  std::uint16_t* Row(int y) { return values.data() + static_cast<std::size_t>(y) * width; }
  const std::uint16_t* Row(int y) const { return values.data() + static_cast<std::size_t>(y) * width; }
  int At(int x, int y) const { return Row(y)[x]; }

  // The size for a caller that writes every value next: storage of the right
  // size is kept, new storage is not filled. A new block is taken rather than
  // resized, which would copy the old values over.
  void ResizeUnfilled(int w, int h) {
    width = w > 0 ? w : 0;
    height = h > 0 ? h : 0;
    const std::size_t n = pixels();
    if (values.size() == n) return;
    Values fresh;
    fresh.resize(n);
    values.swap(fresh);
  }

  bool operator==(const RawPlane&) const = default;
};

}  // namespace qirm
