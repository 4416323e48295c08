// SPDX-License-Identifier: GPL-3.0-or-later
// A 24-bit raster: rows from the top, three bytes a pixel in the order blue,
// green, red. A new picture is white (every byte 255). Pixel loops use Row();
// Color()/SetColor() give the per-pixel access where a colour is the integer
// blue * 65536 + green * 256 + red.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/unfilled_allocator.h"

namespace qirm {

using PictureAllocator = UnfilledAllocator<std::uint8_t>;

class Picture {
 public:
  Picture() = default;
  Picture(int width, int height);
  // A picture whose every byte the caller writes next: its bytes are left as
  // they come.
  static Picture Unfilled(int width, int height);

  int width() const { return m_width; }
  int height() const { return m_height; }
  bool empty() const { return m_width == 0 || m_height == 0; }
  std::size_t stride() const { return static_cast<std::size_t>(m_width) * 3; }

  std::uint8_t* Row(int y) { return m_bytes.data() + static_cast<std::size_t>(y) * stride(); }
  const std::uint8_t* Row(int y) const { return m_bytes.data() + static_cast<std::size_t>(y) * stride(); }

  std::uint32_t Color(int x, int y) const {
    const std::uint8_t* p = Row(y) + 3 * static_cast<std::size_t>(x);
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  }
  void SetColor(int x, int y, std::uint32_t color) {
    std::uint8_t* p = Row(y) + 3 * static_cast<std::size_t>(x);
    p[0] = static_cast<std::uint8_t>(color >> 16);
    p[1] = static_cast<std::uint8_t>(color >> 8);
    p[2] = static_cast<std::uint8_t>(color);
  }

  // Resizing keeps nothing: the picture is white again at the new size.
  void Resize(int width, int height);
  // The size for a caller that writes every byte next: storage of the right
  // size is kept as it is, other storage is not filled.
  void ResizeUnfilled(int width, int height);
  // Copies src onto this picture with its top-left corner at (x, y); the part
  // outside this picture is dropped.
  void Draw(const Picture& src, int x = 0, int y = 0);

  bool operator==(const Picture& other) const = default;

 private:
  int m_width = 0;
  int m_height = 0;
  std::vector<std::uint8_t, PictureAllocator> m_bytes;
};

}  // namespace qirm
