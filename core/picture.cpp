// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/picture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qirm {

Picture Picture::Unfilled(int width, int height) {
  Picture picture;
  picture.ResizeUnfilled(width, height);
  return picture;
}

void Picture::ResizeUnfilled(int width, int height) {
  m_width = std::max(width, 0);
  m_height = std::max(height, 0);
  const std::size_t bytes = static_cast<std::size_t>(m_width) * 3 * m_height;
  if (m_bytes.size() == bytes) return;
  // A smaller or larger block is taken anew rather than resized in place:
  // resize would copy the old bytes over.
  std::vector<std::uint8_t, PictureAllocator> fresh;
  fresh.resize(bytes);
  m_bytes.swap(fresh);
}

Picture::Picture(int width, int height) { Resize(width, height); }

void Picture::Resize(int width, int height) {
  m_width = std::max(width, 0);
  m_height = std::max(height, 0);
  m_bytes.assign(static_cast<std::size_t>(m_width) * 3 * m_height, 255);
}

void Picture::Draw(const Picture& src, int x, int y) {
  const int x0 = std::max(x, 0);
  const int y0 = std::max(y, 0);
  const int x1 = std::min(m_width, x + src.width());
  const int y1 = std::min(m_height, y + src.height());
  if (x0 >= x1 || y0 >= y1) return;
  const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * 3;
  for (int row = y0; row < y1; ++row) {
    std::memcpy(Row(row) + 3 * static_cast<std::size_t>(x0),
                src.Row(row - y) + 3 * static_cast<std::size_t>(x0 - x), bytes);
  }
}

}  // namespace qirm
