// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/mirror_flip.h"

#include <cstdint>
#include <cstring>

#include "core/parallel.h"
#include "display/output_picture.h"

namespace qirm {

Picture MirrorPicture(const Picture& source) {
  Picture out;
  MirrorInto(source, out);
  return out;
}

Picture FlipPicture(const Picture& source) {
  Picture out;
  FlipInto(source, out);
  return out;
}

void MirrorInto(const Picture& source, Picture& out) {
  const int w = source.width();
  const int h = source.height();
  PrepareOutput(out, w, h);
  ParallelFor(h, static_cast<long long>(w) * h, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const std::uint8_t* in = source.Row(y);
      std::uint8_t* row = out.Row(y);
      const std::uint8_t* from = in + 3 * static_cast<std::size_t>(w);
      for (int x = 0; x < w; ++x) {
        from -= 3;
        row[3 * x] = from[0];
        row[3 * x + 1] = from[1];
        row[3 * x + 2] = from[2];
      }
    }
  });
}

void FlipInto(const Picture& source, Picture& out) {
  const int w = source.width();
  const int h = source.height();
  PrepareOutput(out, w, h);
  ParallelFor(h, static_cast<long long>(w) * h, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) std::memcpy(out.Row(y), source.Row(h - 1 - y), source.stride());
  });
}

}  // namespace qirm
