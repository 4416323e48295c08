#include "display/raw_values.h"

#include <utility>

#include "core/parallel.h"
#include "display/levels.h"
#include "display/output_picture.h"

namespace qirm {

void DrawAt00(Picture& target, Picture result) {
  if (target.empty() || (target.width() == result.width() && target.height() == result.height())) {
    target = std::move(result);
  } else {
    target.Draw(result, 0, 0);
  }
}

Status ReadRawValues(const ImageDocument& doc, const char* command, std::vector<std::uint16_t>& raw) {
  const int w = doc.ImageZm.width();
  const int h = doc.ImageZm.height();
  if (doc.ImageZm2.width() != w || doc.ImageZm2.height() != h) {
    return Status::Error(std::string(command) +
                         ": the high-byte and low-byte planes of the window differ in size");
  }
  const long long pixels = static_cast<long long>(w) * h;
  raw.resize(static_cast<std::size_t>(pixels));
  ParallelFor(h, pixels, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const std::uint8_t* hi = doc.ImageZm.Row(y);
      const std::uint8_t* lo = doc.ImageZm2.Row(y);
      std::uint16_t* out = raw.data() + static_cast<std::size_t>(y) * w;
      for (int x = 0; x < w; ++x) out[x] = static_cast<std::uint16_t>(256 * hi[3 * x + 2] + lo[3 * x + 2]);
    }
  });
  return Status::Ok();
}

void StoreResizedRawValues(ImageDocument& doc, const std::vector<std::uint16_t>& values, int w, int h) {
  const long long pixels = static_cast<long long>(w) * h;
  const auto levels = LevelTable(doc.max_level, doc.min_level);
  Picture shown;
  Picture& grey = doc.Image.width() == w && doc.Image.height() == h ? doc.Image : shown;
  const bool resized = doc.ImageZm.width() != w || doc.ImageZm.height() != h;
  PrepareOutput(grey, w, h);
  PrepareOutput(doc.ImageZm, w, h);
  PrepareOutput(doc.ImageZm2, w, h);
  ParallelFor(h, pixels, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const std::uint16_t* in = values.data() + static_cast<std::size_t>(y) * w;
      std::uint8_t* hi = doc.ImageZm.Row(y);
      std::uint8_t* lo = doc.ImageZm2.Row(y);
      std::uint8_t* g = grey.Row(y);
      for (int x = 0; x < w; ++x) {
        hi[3 * x] = hi[3 * x + 1] = lo[3 * x] = lo[3 * x + 1] = 0;
        hi[3 * x + 2] = static_cast<std::uint8_t>(in[x] >> 8);
        lo[3 * x + 2] = static_cast<std::uint8_t>(in[x] & 0xFF);
        g[3 * x] = g[3 * x + 1] = g[3 * x + 2] = levels[in[x]];
      }
    }
  });
  if (&grey == &shown) {
    // A new size replaces the shown picture; the same size draws over it.
    if (resized) doc.Image = Picture();
    DrawAt00(doc.Image, std::move(shown));
  }
  if (resized) {
    doc.width = w;
    doc.height = h;
  }
}

void StoreRawValues(ImageDocument& doc, const std::vector<std::uint16_t>& values) {
  StoreResizedRawValues(doc, values, doc.ImageZm.width(), doc.ImageZm.height());
}

}  // namespace qirm
